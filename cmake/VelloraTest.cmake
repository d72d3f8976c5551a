# vellora_add_test(<name> SOURCES <files...> [LIBRARIES <targets...>] [ENVIRONMENT <VAR=value...>]
#                  [TIMEOUT <s>] [SECONDS <s>])
#
# Builds tst_<name> and registers it with CTest behind tests/isolated-run,
# so every test gets its own HOME, XDG directories and session bus, and finds
# the build's translation catalogs without installing them.
function(vellora_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT;SECONDS" "SOURCES;LIBRARIES;ENVIRONMENT" ${ARGN})
    set(target tst_${name})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE Qt6::Test ${ARG_LIBRARIES})
    # Tables, answers and golden files live in a data folder beside the suite.
    target_compile_definitions(${target} PRIVATE TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/tests/isolated-run $<TARGET_FILE:${target}>)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_dependencies(${target} vellora_translations)
    # Label each test with its folder, so a run can pick areas (ctest -L network).
    get_filename_component(area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS ${area}
        ENVIRONMENT "SOLVANETOUCH_TRANSLATION_PATH=${VELLORA_TRANSLATIONS_DIR};${ARG_ENVIRONMENT}")
    # A fresh clone has no timings of CTest's own: the suites that spend long
    # waiting (SECONDS, what a run usually takes) start first, so that the
    # parallel slots end together instead of one long suite running alone.
    if(ARG_SECONDS)
        set_tests_properties(${name} PROPERTIES COST ${ARG_SECONDS})
    endif()
    # And build them by the same name (vellora_tests_network), for a run of
    # some areas that need not build the rest.
    if(NOT TARGET vellora_tests_${area})
        add_custom_target(vellora_tests_${area})
    endif()
    add_dependencies(vellora_tests_${area} ${target})
endfunction()
