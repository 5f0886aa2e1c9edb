# Builds the MSI packages with wixl from tolmar.wxs (run at build time by the
# msi target): one per model, each a product of its own, and the cabinet
# they all share, beside them.
#
#   cmake -DWIXL=<wixl> -DARCH=x86|x64 -DVERSION=<a.b.c.d> -DTOOL=<TolmarDeploy.exe>
#         -DLOGON=<TolmarLogon.exe> -DACTION=<custom action DLL>
#         -DPACKAGE=<folder with win2k and win9x>
#         -DWORK=<scratch folder> -DMODELS=<model,model,...>
#         -DMODEL_OUTPUT=<folder/x-@MODEL@.msi> -DCABINET=<8.3 name>
#         [-DCERT=<cert.pem> -DKEY=<key.pem>] -P build-msi.cmake
#
# Every package installs the same files to the same folder, so they carry
# them once: in the cabinet CABINET in MODEL_OUTPUT's folder, which each
# package's Media table names. wixl builds a cabinet but writes it only into
# the package (EmbedCab="no" drops it), so a first run embeds it and the
# stream is taken out; the packages of the models are built without it and
# their File tables checked against that first run's.
#
# Everything that would differ between two builds of the same sources is
# fixed here: the product, upgrade, package and component codes are derived
# from the inputs instead of drawn at random, and the files go into the
# cabinet with the date of the commit.
cmake_minimum_required(VERSION 3.21)
include("${CMAKE_CURRENT_LIST_DIR}/source-date.cmake")
foreach(required WIXL ARCH VERSION TOOL LOGON ACTION PACKAGE WORK MODELS MODEL_OUTPUT CABINET)
    if(NOT ${required})
        message(FATAL_ERROR "build-msi.cmake: ${required} is not given")
    endif()
endforeach()
string(REPLACE "," ";" models "${MODELS}")
foreach(model IN LISTS models)
    # It goes into a registry key, a product name and a file name.
    if(NOT model MATCHES "^[A-Za-z0-9-]+$" OR NOT MODEL_OUTPUT MATCHES "@MODEL@")
        message(FATAL_ERROR "build-msi.cmake: model '${model}' or MODEL_OUTPUT '${MODEL_OUTPUT}'")
    endif()
endforeach()
# Windows Installer takes an external cabinet by a short (8.3) name only.
if(NOT CABINET MATCHES "^[A-Za-z0-9_]+\\.[A-Za-z0-9]+$" OR CABINET MATCHES "[^.]{9}\\." OR
   CABINET MATCHES "\\.[^.]{4}")
    message(FATAL_ERROR "build-msi.cmake: CABINET '${CABINET}' is not an 8.3 name")
endif()
get_filename_component(output_folder "${MODEL_OUTPUT}" DIRECTORY)
setup_source_date_epoch(epoch "${CMAKE_CURRENT_LIST_DIR}/..")

# The upgrade code of the packages before there was one per model, as the
# namespace of every derived code.
set(namespace 6a1c3e52-7d0b-4f4b-9e37-2c51b8d0a417)
function(derived_guid out name)
    string(UUID guid NAMESPACE ${namespace} NAME "${name}" TYPE SHA1 UPPER)
    set(${out} ${guid} PARENT_SCOPE)
endfunction()

# Windows Installer wants "SHORT~1.EXT|long name" where a name is not 8.3;
# wixl writes the long name alone, so the tables are mended afterwards.
set(short_name_queries "")
function(short_name_query table key_column key name_column name taken_var)
    if(name MATCHES "^[A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)?$")
        string(REGEX REPLACE "\\..*" "" base "${name}")
        string(REGEX MATCH "\\..*" extension "${name}")
        string(LENGTH "${base}" base_length)
        string(LENGTH "${extension}" extension_length)
        if(base_length LESS_EQUAL 8 AND extension_length LESS_EQUAL 4)
            return()
        endif()
    endif()
    string(TOUPPER "${name}" upper)
    string(REGEX MATCH "\\.[^.]*$" extension "${upper}")
    string(REGEX REPLACE "\\.[^.]*$" "" base "${upper}")
    string(REGEX REPLACE "[^A-Z0-9_]" "" base "${base}")
    string(REGEX REPLACE "[^A-Z0-9_.]" "" extension "${extension}")
    string(SUBSTRING "${extension}" 0 4 extension)
    string(SUBSTRING "${base}" 0 6 base)
    set(n 1)
    while("${base}~${n}${extension}" IN_LIST ${taken_var})
        math(EXPR n "${n} + 1")
    endwhile()
    set(short "${base}~${n}${extension}")
    list(APPEND ${taken_var} "${short}")
    set(${taken_var} "${${taken_var}}" PARENT_SCOPE)
    list(APPEND short_name_queries
         "UPDATE ${table} SET ${name_column} = '${short}|${name}' WHERE ${key_column} = '${key}'")
    set(short_name_queries "${short_name_queries}" PARENT_SCOPE)
endfunction()

# A private copy of every input, dated alike: wixl puts the files' dates
# into the cabinet.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/files")
file(COPY "${TOOL}" "${LOGON}" "${ACTION}" DESTINATION "${WORK}/files")
get_filename_component(tool_name "${TOOL}" NAME)
get_filename_component(logon_name "${LOGON}" NAME)
get_filename_component(action_name "${ACTION}" NAME)
set(inputs_digest "${ARCH} ${VERSION} ${CABINET}")
foreach(file "${TOOL}" "${LOGON}" "${ACTION}" "${CMAKE_CURRENT_LIST_DIR}/tolmar.wxs")
    file(SHA256 "${file}" digest)
    string(APPEND inputs_digest " ${digest}")
endforeach()

# One component per driver file, in a fragment of its own.
set(directories "")
set(group "")
set(win64 no)
if(ARCH STREQUAL x64)
    set(win64 yes)
endif()
foreach(family win2k win9x)
    if(NOT IS_DIRECTORY "${PACKAGE}/${family}")
        message(FATAL_ERROR "build-msi.cmake: the driver package ${PACKAGE} has no folder ${family}")
    endif()
    file(GLOB names RELATIVE "${PACKAGE}/${family}" "${PACKAGE}/${family}/*")
    list(SORT names)
    if(NOT names)
        message(FATAL_ERROR "build-msi.cmake: ${PACKAGE}/${family} is empty")
    endif()
    file(COPY "${PACKAGE}/${family}" DESTINATION "${WORK}/files")
    if(family STREQUAL win2k)
        set(directory Win2kFolder)
    else()
        set(directory Win9xFolder)
    endif()
    set(taken "")
    foreach(name IN LISTS names)
        if(IS_DIRECTORY "${PACKAGE}/${family}/${name}" OR NOT name MATCHES "^[A-Za-z0-9_.-]+$")
            message(FATAL_ERROR "build-msi.cmake: ${family}/${name}: the package holds plain files "
                                "with ASCII names only")
        endif()
        string(MAKE_C_IDENTIFIER "${family}_${name}" id)
        short_name_query(File File "${id}" FileName "${name}" taken)
        derived_guid(guid "component ${ARCH} ${family}/${name}")
        file(SHA256 "${PACKAGE}/${family}/${name}" digest)
        string(APPEND inputs_digest " ${family}/${name} ${digest}")
        string(APPEND components
            "      <Component Id=\"${id}\" Guid=\"${guid}\" Win64=\"${win64}\">\n"
            "        <File Id=\"${id}\" Name=\"${name}\" Source=\"files/${family}/${name}\" KeyPath=\"yes\"/>\n"
            "      </Component>\n")
        string(APPEND group "      <ComponentRef Id=\"${id}\"/>\n")
    endforeach()
    string(APPEND directories "    <DirectoryRef Id=\"${directory}\">\n${components}    </DirectoryRef>\n")
    set(components "")
endforeach()
string(CONCAT fragment "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n  <Fragment>\n${directories}"
    "    <ComponentGroup Id=\"DriverPackage\">\n${group}    </ComponentGroup>\n"
    "  </Fragment>\n</Wix>\n")
file(WRITE "${WORK}/driver_package.wxs" "${fragment}")
set(taken "")
short_name_query(File File TolmarDeploy.exe FileName "${tool_name}" taken)
short_name_query(File File TolmarLogon.exe FileName "${logon_name}" taken)
set(taken "")
short_name_query(Directory Directory INSTALLDIR DefaultDir "Tolmar Printer Driver" taken)
setup_stamp_tree("${WORK}/files" "${epoch}")

# A new product code for each version of a model (the major upgrade needs
# it), the same one for every build of it; a package code for each distinct
# package. The upgrade code of a model never changes.
string(SHA256 inputs_hash "${inputs_digest}")
derived_guid(tool_component "component ${ARCH} ${tool_name}")
derived_guid(logon_component "component ${ARCH} ${logon_name}")
file(COPY "${CMAKE_CURRENT_LIST_DIR}/tolmar.wxs" DESTINATION "${WORK}")

# Runs wixl for one model; out receives the package code it is to have.
function(run_wixl model embed msi out)
    derived_guid(product_code "product ${ARCH} ${VERSION} ${model}")
    derived_guid(upgrade_code "upgrade ${model}")
    derived_guid(settings_component "component ${ARCH} settings ${model}")
    derived_guid(package_code "package ${inputs_hash} ${model}")
    execute_process(
        COMMAND "${CMAKE_COMMAND}" -E env SOURCE_DATE_EPOCH=${epoch}
                "${WIXL}" -a ${ARCH} -o "${msi}"
                -D Arch=${ARCH} -D Version=${VERSION} -D Model=${model}
                -D ProductCode=${product_code} -D UpgradeCode=${upgrade_code}
                -D PackageCode=${package_code} -D ToolComponent=${tool_component}
                -D LogonComponent=${logon_component} -D SettingsComponent=${settings_component}
                -D Cabinet=${CABINET} -D EmbedCab=${embed}
                -D "ToolExe=files/${tool_name}" -D "LogonExe=files/${logon_name}"
                -D "ActionDll=files/${action_name}"
                tolmar.wxs driver_package.wxs
        # wixl takes the files' paths relative to the folder it runs in.
        WORKING_DIRECTORY "${WORK}"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "build-msi.cmake: wixl failed for ${model}:\n${output}")
    endif()
    set(${out} ${package_code} PARENT_SCOPE)
endfunction()

find_program(MSIBUILD msibuild)
find_program(MSIINFO msiinfo)
find_program(PERL perl)
if(NOT MSIBUILD OR NOT MSIINFO OR NOT PERL)
    message(FATAL_ERROR "build-msi.cmake: msibuild, msiinfo (package msitools) and perl are needed")
endif()
function(export_table msi table out)
    execute_process(COMMAND "${MSIINFO}" export "${msi}" ${table} OUTPUT_VARIABLE text
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "build-msi.cmake: cannot read the ${table} table of ${msi}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The cabinet: the stream of a package built with it embedded.
list(GET models 0 first_model)
set(cabinet_msi "${WORK}/cabinet.msi")
run_wixl(${first_model} yes "${cabinet_msi}" unused)
file(MAKE_DIRECTORY "${output_folder}")
set(cabinet "${output_folder}/${CABINET}")
execute_process(COMMAND "${MSIINFO}" extract "${cabinet_msi}" ${CABINET}
                OUTPUT_FILE "${cabinet}" RESULT_VARIABLE status)
file(SIZE "${cabinet}" cabinet_size)
if(NOT status EQUAL 0 OR cabinet_size EQUAL 0)
    message(FATAL_ERROR "build-msi.cmake: cannot take the cabinet out of ${cabinet_msi}")
endif()
export_table("${cabinet_msi}" File cabinet_files)
export_table("${cabinet_msi}" Media cabinet_media)

# wixl draws the package code at random and stamps the current time; both
# are set here instead, the same for every build of the same inputs.
execute_process(COMMAND "${MSIINFO}" suminfo "${cabinet_msi}" OUTPUT_VARIABLE summary
                RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT summary MATCHES "Template: ([^\n]*)")
    message(FATAL_ERROR "build-msi.cmake: cannot read the summary information wixl wrote")
endif()
set(template "${CMAKE_MATCH_1}")
# The properties an administrator gives must reach the elevated part of the
# installation in every case (wixl has no Property/@Secure).
execute_process(COMMAND "${MSIINFO}" export "${cabinet_msi}" Property OUTPUT_VARIABLE properties
                RESULT_VARIABLE status)
set(secure "MODEL;PORT;DEFAULT")
if(status EQUAL 0 AND properties MATCHES "\nSecureCustomProperties\t([^\r\n]*)")
    string(APPEND secure ";${CMAKE_MATCH_1}")
endif()
set(msibuild_args "")
foreach(query IN LISTS short_name_queries)
    list(APPEND msibuild_args -q "${query}")
endforeach()

function(sign file)
    if(NOT CERT OR NOT KEY)
        return()
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -DFILE=${file} -DCERT=${CERT} -DKEY=${KEY}
                            -DEPOCH=${epoch} -P "${CMAKE_CURRENT_LIST_DIR}/sign.cmake"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "build-msi.cmake: signing ${file} failed")
    endif()
endfunction()

# Sets what wixl cannot (codes, short names, secure properties, dates),
# signs, and moves the package to output.
function(finish_package msi model package_code output)
    # The secure list holds semicolons: one quoted argument, never a list.
    execute_process(COMMAND "${MSIBUILD}" "${msi}" ${msibuild_args} -q
                            "UPDATE Property SET Value = '${secure}' WHERE Property = 'SecureCustomProperties'"
                            -s "Tolmar Printer Driver ${model}" Tolmar "${template}" "{${package_code}}"
                    RESULT_VARIABLE status)
    if(status EQUAL 0)
        execute_process(COMMAND "${PERL}" "${CMAKE_CURRENT_LIST_DIR}/msi-dates.pl" "${msi}" ${epoch}
                        RESULT_VARIABLE status)
    endif()
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "build-msi.cmake: cannot set the package code and dates of ${output}")
    endif()
    sign("${msi}")
    file(RENAME "${msi}" "${output}")
endfunction()

foreach(model IN LISTS models)
    set(msi "${WORK}/${model}.msi")
    run_wixl(${model} no "${msi}" package_code)
    # The same files in the same order as the shared cabinet holds them.
    export_table("${msi}" File files)
    export_table("${msi}" Media media)
    string(REPLACE "#${CABINET}" "${CABINET}" expected_media "${cabinet_media}")
    if(NOT files STREQUAL cabinet_files OR NOT media STREQUAL expected_media)
        message(FATAL_ERROR "build-msi.cmake: the files of ${model}'s package are not the cabinet's")
    endif()
    string(REPLACE "@MODEL@" "${model}" output "${MODEL_OUTPUT}")
    finish_package("${msi}" ${model} ${package_code} "${output}")
endforeach()
sign("${cabinet}")
list(LENGTH models count)
message(STATUS "Built ${count} packages, one per model, and ${cabinet} in ${output_folder}")
