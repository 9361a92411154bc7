# Every folder of src/ is one static library made of the sources found in it,
# so adding a file never means editing a list.
# A folder without sources yet makes no target.
function(zorvex_library name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} ${ARGN})
endfunction()

# One GoogleTest program per tests/ folder, discovered by CTest case by case.
function(zorvex_test_folder name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
  if(NOT sources)
    return()
  endif()
  if(WIN32)
    list(REMOVE_ITEM sources ${ZORVEX_POSIX_ONLY_TESTS})
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE zorvex_testsupport GTest::gtest_main GTest::gmock ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    # Case-by-case discovery would start every program under the emulator
    # (Wine) at build time and once per case: one CTest test per program.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()

# The same for a folder of Qt code (moc, uic and rcc run on it).
function(zorvex_qt_library name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h" "${dir}/*.ui" "${dir}/*.qrc")
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} ${ARGN})
endfunction()

# The version a program carries in its file, read back by FileVersionText: a
# version resource on Windows, a stamp in the data elsewhere.
function(zorvex_version_info target description)
  if(WIN32)
    set(ZORVEX_RC_DESCRIPTION "${description}")
    set(ZORVEX_RC_NAME "${target}")
    configure_file("${PROJECT_SOURCE_DIR}/src/app/VersionInfo.rc.in"
                   "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc" @ONLY)
    target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc")
  else()
    configure_file("${PROJECT_SOURCE_DIR}/src/app/VersionStamp.cpp.in"
                   "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.cpp" @ONLY)
    target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.cpp")
  endif()
endfunction()
