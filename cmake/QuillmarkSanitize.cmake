# Sanitizer and fuzzing instrumentation for every target of the project: the library,
# the program's core and every test, so that a finding anywhere stops the run.
if(QUILLMARK_BUILD_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "QUILLMARK_BUILD_FUZZ needs clang (libFuzzer)")
    endif()
    if(NOT QUILLMARK_SANITIZE)
        set(QUILLMARK_SANITIZE "address;undefined")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

set(QUILLMARK_SANITIZE_FLAGS "")
if(QUILLMARK_SANITIZE)
    string(REPLACE ";" "," quillmark_sanitizers "${QUILLMARK_SANITIZE}")
    # A finding ends the program instead of being reported and passed over.
    set(QUILLMARK_SANITIZE_FLAGS
        -fsanitize=${quillmark_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${QUILLMARK_SANITIZE_FLAGS})
    add_link_options(-fsanitize=${quillmark_sanitizers})
endif()
