# The shipped program: the tested Pellmark.exe less its symbols, its debug information in
# Pellmark.debug beside it (found through a debug link), and the release archive.

set(PELLMARK_SHIP ${CMAKE_BINARY_DIR}/ship)
# objcopy stamps the time of the copy into the header unless told a time: keep the link's 0,
# in both files (the debug link holds the debug file's checksum).
set(PELLMARK_OBJCOPY ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
add_custom_command(
    OUTPUT ${PELLMARK_SHIP}/Pellmark.exe ${PELLMARK_SHIP}/Pellmark.debug
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PELLMARK_SHIP}
    COMMAND ${PELLMARK_OBJCOPY} --only-keep-debug $<TARGET_FILE:Pellmark> Pellmark.debug
    COMMAND ${PELLMARK_OBJCOPY} --strip-all --add-gnu-debuglink=Pellmark.debug
            $<TARGET_FILE:Pellmark> Pellmark.exe
    WORKING_DIRECTORY ${PELLMARK_SHIP}
    DEPENDS Pellmark
    COMMENT "Stripping Pellmark.exe")
add_custom_target(ship ALL DEPENDS ${PELLMARK_SHIP}/Pellmark.exe)

# The shipped program's headers and resources, read back out of the file, and the proof that
# it is the program linked here, less its symbols: in every configuration that makes it.
add_test(NAME resources
    COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/check_resources.py
            ${PELLMARK_SHIP}/Pellmark.exe ${CMAKE_SYSTEM_PROCESSOR} $<TARGET_FILE:Pellmark>)

# The release that scripts/release made here, made again elsewhere a second later, must be
# the same bytes, and its Pellmark.exe must be the one the Win32 tests ran.
if(PELLMARK_RELEASE_CHECK)
    set(PELLMARK_TESTED_EXE "" CACHE FILEPATH "The shipped Pellmark.exe of the tested build")
    add_test(NAME reproducible
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-release ${CMAKE_BINARY_DIR} ${PELLMARK_TESTED_EXE})
    # The workflow that runs the release's test bundle on Windows runners, checked here.
    add_test(NAME workflows COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-workflows)
endif()

# Read in Notepad: CR LF.
configure_file(${PROJECT_SOURCE_DIR}/res/README.txt.in ${PELLMARK_SHIP}/README.txt @ONLY NEWLINE_STYLE CRLF)

install(PROGRAMS ${PELLMARK_SHIP}/Pellmark.exe DESTINATION .)
install(FILES ${PELLMARK_SHIP}/README.txt DESTINATION .)

# Only the i686 program is released; the x86_64 build is for the tests.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME Pellmark)
    set(CPACK_PACKAGE_VENDOR "${PELLMARK_MAKER}")
    set(CPACK_PACKAGE_FILE_NAME Pellmark-${PROJECT_VERSION}-win32)
    set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/dist)
    # Entries take their times from SOURCE_DATE_EPOCH, which scripts/release sets.
    include(CPack)
endif()
