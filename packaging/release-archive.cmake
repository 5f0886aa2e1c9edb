# Runs inside CPack after the ZIP is written, and writes it again from the
# same staged files: CPack adds entries in the order the file system lists
# them, which differs between machines, and stores each file's access and
# change times, which differ between any two builds. Info-ZIP's zip writes
# the entries in sorted order with no extra fields (-X): only the DOS date,
# the commit's time in UTC (DOS dates are local time), and the Unix mode.
cmake_minimum_required(VERSION 3.21)
include("${CMAKE_CURRENT_LIST_DIR}/source-date.cmake")
setup_source_date_epoch(epoch "${CPACK_SETUP_SOURCE_DIR}")

set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
get_filename_component(top "${stage}" NAME)
get_filename_component(parent "${stage}" DIRECTORY)
# Files only: a folder named here would bring its content along unsorted,
# and unpacking makes the folders anyway.
file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE "${parent}" "${stage}/*")
list(SORT entries)
string(REPLACE ";" "\n" listing "${entries}")
set(list_file "${parent}/release-entries.txt")
file(WRITE "${list_file}" "${listing}\n")
find_program(ZIP zip)
if(NOT ZIP)
    message(FATAL_ERROR "release-archive.cmake: zip is missing (sh scripts/bootstrap.sh installs it)")
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "\\.zip$")
        continue()
    endif()
    file(REMOVE "${package}")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC LC_ALL=C
                            "${ZIP}" -q -X -D -@ "${package}"
                    INPUT_FILE "${list_file}" WORKING_DIRECTORY "${parent}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT EXISTS "${package}")
        message(FATAL_ERROR "release-archive.cmake: cannot write ${package}")
    endif()
endforeach()
