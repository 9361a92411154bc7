# Every folder of src/ is one static library made of the sources found in it,
# so adding a file never means editing a list.
function(zorvex_library name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} ${ARGN})
endfunction()

# One GoogleTest program per tests/ folder, discovered by CTest case by case.
function(zorvex_test_folder name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE zorvex_testsupport GTest::gtest_main GTest::gmock ${ARGN})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
