# The program reads its pictures and help text from its own directory, so every
# executable that shows the window gets a copy of them beside it.
set(QUILLMARK_DATA_DIR ${CMAKE_CURRENT_LIST_DIR}/..)

function(quillmark_copy_data target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_directory
                ${QUILLMARK_DATA_DIR}/img $<TARGET_FILE_DIR:${target}>/img
        COMMAND ${CMAKE_COMMAND} -E copy_if_different
                ${QUILLMARK_DATA_DIR}/app/help.txt $<TARGET_FILE_DIR:${target}>/help.txt
        VERBATIM)
endfunction()
