# The program reads its pictures and help text from its own directory, so every
# executable that shows the window gets a copy of them beside it.
set(QUILLMARK_DATA_DIR ${CMAKE_CURRENT_LIST_DIR}/..)

function(quillmark_copy_data target)
    get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
    if(NOT dir)
        set(dir ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    # A target of its own, so that an edited picture or help text is copied again
    # even when the program itself need not be linked anew.
    add_custom_target(${target}_data
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${QUILLMARK_DATA_DIR}/img ${dir}/img
        COMMAND ${CMAKE_COMMAND} -E copy_if_different
                ${QUILLMARK_DATA_DIR}/app/help.txt ${dir}/help.txt
        VERBATIM)
    add_dependencies(${target} ${target}_data)
endfunction()
