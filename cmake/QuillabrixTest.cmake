# quillabrix_add_test(<name> SOURCES ... LIBS ... [LABEL label] [TIMEOUT seconds])
# One executable per class or behaviour group, run headless with the web engine's needs met.
function(quillabrix_add_test name)
    cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    if(NOT ARG_LABEL)
        set(ARG_LABEL unit)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE quillabrix_common quillabrix_testsupport Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        LABELS "${ARG_LABEL}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1;QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu;QT_LOGGING_RULES=qt.webenginecontext.info=false;QUILLABRIX_APP_DIR=${QUILLABRIX_APP_DIR};QUILLABRIX_PORTAL=${CMAKE_BINARY_DIR}/server/quillabrix-portal;QUILLABRIX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
