# SOURCE_DATE_EPOCH for what the build packs: the environment's when set
# (the convention of reproducible builds), otherwise the time of the commit
# being built, so two builds of one commit stamp the same dates anywhere.
function(setup_source_date_epoch out source_dir)
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    if(epoch STREQUAL "")
        execute_process(COMMAND git -C "${source_dir}" log -1 --format=%ct
                        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE status ERROR_QUIET)
        if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
            # Not a git checkout: a fixed date keeps the result stable.
            set(epoch 946684800)
        endif()
    endif()
    set(${out} "${epoch}" PARENT_SCOPE)
endfunction()

# Gives every file under folder (and the folder's own entries) that date.
function(setup_stamp_tree folder epoch)
    execute_process(COMMAND find "${folder}" -exec touch -h -d "@${epoch}" {} +
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "cannot set the file dates under ${folder}")
    endif()
endfunction()
