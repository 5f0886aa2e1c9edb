# Runs inside CPack once the release is staged, before the archive is
# written: lists a SHA-256 of every file in SHA256SUMS (sha256sum -c reads
# it) and gives every entry the date of the commit, so the archive of one
# commit is the same bytes wherever it is built.
cmake_minimum_required(VERSION 3.21)
include("${CMAKE_CURRENT_LIST_DIR}/source-date.cmake")
setup_source_date_epoch(epoch "${CPACK_SETUP_SOURCE_DIR}")

set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
if(NOT IS_DIRECTORY "${stage}")
    message(FATAL_ERROR "release-stage.cmake: no staged release in '${stage}'")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
    file(SHA256 "${stage}/${file}" digest)
    string(APPEND sums "${digest}  ${file}\n")
endforeach()
file(WRITE "${stage}/SHA256SUMS" "${sums}")
setup_stamp_tree("${stage}" "${epoch}")
