# Writes the placeholder driver package: the folders "win2k" and "win9x" with
# every file the two installation procedures copy for some model, each holding
# one line that names it ("placeholder driver file win2k\QM47.DLL", CR LF).
# The MSI and the release take it when no real driver package is given; the
# host test PlaceholderPackage holds it against the installers' file lists.
#
#   cmake -DOUT=<folder> [-DSIZE=<bytes>] -P placeholder-package.cmake
#
# From CMake, include() it and call setup_write_placeholder_package(<folder>).
# SIZE (only for measuring the release, through SETUP_DRIVER_PACKAGE) makes
# the files that many bytes in all: after the line, characters drawn from 16
# (the same for every run), which compress to about half, as driver DLLs do.

set(SETUP_PLACEHOLDER_WIN2K_FILES
    QM47.DLL QM4712II.GPD QM4712III.GPD QM4716II.GPD QM4718II.GPD QM4718III.GPD QM4720.GPD
    QM4720X.GPD QM4720II.GPD QM47250.GPD QM4720XII.GPD QM4706.GPD QM47240.GPD QM47240II.GPD
    QM4716III.GPD QM4720XIII.GPD uniDRVui.DLL uniDRV.DLL UNIDRV.HLP UNIRES.DLL TTFSUB.GPD
    STDNAMES.GPD)
set(SETUP_PLACEHOLDER_WIN9X_FILES QM47.DRV QM47K.DRV QM47V.DRV iconlib.DLL uniDRV.DLL uniDRV.hlp)

function(setup_write_placeholder_package out)
    set(size 0)
    if(ARGC GREATER 1 AND NOT "${ARGV1}" STREQUAL "")
        set(size ${ARGV1})
    endif()
    list(LENGTH SETUP_PLACEHOLDER_WIN2K_FILES count)
    list(LENGTH SETUP_PLACEHOLDER_WIN9X_FILES count9x)
    math(EXPR each "${size} / (${count} + ${count9x})")
    set(file_number 0)
    foreach(family win2k win9x)
        string(TOUPPER "${family}" upper)
        set(folder "${out}/${family}")
        # Only these files: a stale one would end up in a package.
        file(REMOVE_RECURSE "${folder}")
        file(MAKE_DIRECTORY "${folder}")
        foreach(name IN LISTS SETUP_PLACEHOLDER_${upper}_FILES)
            set(content "placeholder driver file ${family}\\${name}\r\n")
            string(LENGTH "${content}" length)
            math(EXPR file_number "${file_number} + 1")
            if(each GREATER length)
                math(EXPR rest "${each} - ${length}")
                string(RANDOM LENGTH ${rest} ALPHABET 0123456789ABCDEF RANDOM_SEED ${file_number} filler)
                string(APPEND content "${filler}")
            endif()
            file(WRITE "${folder}/${name}" "${content}")
        endforeach()
    endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    if(NOT OUT OR (SIZE AND NOT SIZE MATCHES "^[0-9]+$"))
        message(FATAL_ERROR "usage: cmake -DOUT=<folder> [-DSIZE=<bytes>] -P placeholder-package.cmake")
    endif()
    setup_write_placeholder_package("${OUT}" "${SIZE}")
endif()
