# The program reads its pictures and help text from its own directory, so every
# executable that shows the window gets a copy of them beside it.
set(QUILLMARK_DATA_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
file(GLOB QUILLMARK_PICTURES CONFIGURE_DEPENDS ${QUILLMARK_DATA_DIR}/img/*.jpg)
set(QUILLMARK_HELP ${QUILLMARK_DATA_DIR}/app/help.txt)

function(quillmark_copy_data target)
    get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
    if(NOT dir)
        set(dir ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    # One copying target per output folder, shared by every program built there: two
    # targets copying into one folder at the same time would race. The files are copied
    # again only when one of them changed.
    file(RELATIVE_PATH folder ${PROJECT_BINARY_DIR} ${dir})
    string(MAKE_C_IDENTIFIER "quillmark_data_${folder}" data_target)
    if(NOT TARGET ${data_target})
        set(pictures)
        foreach(picture ${QUILLMARK_PICTURES})
            get_filename_component(name ${picture} NAME)
            list(APPEND pictures ${dir}/img/${name})
        endforeach()
        add_custom_command(OUTPUT ${pictures} ${dir}/help.txt
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/img
            COMMAND ${CMAKE_COMMAND} -E copy ${QUILLMARK_PICTURES} ${dir}/img
            COMMAND ${CMAKE_COMMAND} -E copy ${QUILLMARK_HELP} ${dir}
            DEPENDS ${QUILLMARK_PICTURES} ${QUILLMARK_HELP}
            VERBATIM)
        add_custom_target(${data_target} DEPENDS ${pictures} ${dir}/help.txt)
    endif()
    add_dependencies(${target} ${data_target})
endfunction()
