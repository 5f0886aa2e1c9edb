# Authenticode-signs one file in place with osslsigncode (SHA-256).
cmake_minimum_required(VERSION 3.21)
#
#   cmake -DFILE=<exe|dll|msi> -DCERT=<cert.pem> -DKEY=<key.pem>
#         [-DOSSLSIGNCODE=<path>] [-DEPOCH=<unix time>] -P sign.cmake
#
# The key's password, if it has one, comes from the environment variable
# SETUP_SIGN_PASSWORD. The signing time is EPOCH (SOURCE_DATE_EPOCH), so
# signing the same file twice gives the same bytes.
include("${CMAKE_CURRENT_LIST_DIR}/source-date.cmake")
foreach(required FILE CERT KEY)
    if(NOT ${required})
        message(FATAL_ERROR "sign.cmake: ${required} is not given")
    endif()
endforeach()
if(NOT OSSLSIGNCODE)
    find_program(OSSLSIGNCODE osslsigncode)
    if(NOT OSSLSIGNCODE)
        message(FATAL_ERROR "sign.cmake: osslsigncode is missing (sh scripts/bootstrap.sh installs it)")
    endif()
endif()
if(NOT EPOCH)
    setup_source_date_epoch(EPOCH "${CMAKE_CURRENT_LIST_DIR}/..")
endif()
get_filename_component(name "${FILE}" NAME)
set(args sign -h sha256 -certs "${CERT}" -key "${KEY}" -n "Tolmar Printer Driver"
         -time "${EPOCH}")
# The password goes through a file only we can read, never the command
# line, where any user of the machine could see it.
set(password_file "")
if(NOT "$ENV{SETUP_SIGN_PASSWORD}" STREQUAL "")
    string(RANDOM LENGTH 16 suffix)
    set(password_file "${FILE}.pass-${suffix}")
    file(TOUCH "${password_file}")
    file(CHMOD "${password_file}" PERMISSIONS OWNER_READ OWNER_WRITE)
    file(WRITE "${password_file}" "$ENV{SETUP_SIGN_PASSWORD}")
    list(APPEND args -readpass "${password_file}")
endif()
set(signed "${FILE}.signed")
file(REMOVE "${signed}")
execute_process(COMMAND "${OSSLSIGNCODE}" ${args} -in "${FILE}" -out "${signed}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(password_file)
    file(REMOVE "${password_file}")
endif()
if(NOT status EQUAL 0)
    file(REMOVE "${signed}")
    message(FATAL_ERROR "sign.cmake: signing ${name} failed:\n${output}")
endif()
file(RENAME "${signed}" "${FILE}")
message(STATUS "Signed ${name}")
