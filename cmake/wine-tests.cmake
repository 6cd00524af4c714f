# Tests that run under Wine (the x86_64 build here) need a display, a prefix with fonts and
# a Wine server. One fixture brings them up before the first of a run's tests and takes them
# down after the last, so that "ctest --preset NAME" needs nothing started by hand.
# The scales, besides 96 DPI, at which the dialog tests look at the dialog again.
if(PELLMARK_TESTS)
    set(PELLMARK_SCALES 120 144 192)
endif()
add_test(NAME wine.start COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-fixture start ${CMAKE_BINARY_DIR} ${PELLMARK_SCALES})
add_test(NAME wine.stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-fixture stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

# pellmark_under_wine(TEST...): these tests run in the fixture's Wine.
function(pellmark_under_wine)
    set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine
        ENVIRONMENT PELLMARK_WINE_ENV=${CMAKE_BINARY_DIR}/wine.env)
endfunction()
