# One architecture's half of the test bundle (scripts/release zips both halves with
# run-tests.cmd), included by tests/CMakeLists.txt: the Win32 test programs, less their
# symbols as the product is, with what they need beside them and the runner that starts them
# on Windows.
add_executable(runtests ${PROJECT_SOURCE_DIR}/scripts/bundle/runtests.cpp)
target_compile_options(runtests PRIVATE ${PELLMARK_WARNINGS})
set(PELLMARK_BUNDLE ${CMAKE_BINARY_DIR}/bundle)
set(strip_commands)
foreach(t report_tests convert_tests detect_tests dialog_tests app_tests planted runtests)
    list(APPEND strip_commands COMMAND ${PELLMARK_OBJCOPY} --strip-all $<TARGET_FILE:${t}>
         ${PELLMARK_BUNDLE}/$<TARGET_FILE_NAME:${t}>)
endforeach()
add_custom_target(bundle
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${PELLMARK_BUNDLE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PELLMARK_BUNDLE}
    ${strip_commands}
    COMMAND ${CMAKE_COMMAND} -E copy ${PELLMARK_SHIP}/Pellmark.exe ${PELLMARK_BUNDLE}/Pellmark.exe
    VERBATIM)
add_dependencies(bundle ship report_tests convert_tests detect_tests dialog_tests app_tests planted runtests)
