include(GoogleTest)

# quillon_add_library(<target> [DEPS <targets>...])
# One library per source folder; every .cpp in the folder belongs to it. Headers are included
# as "<folder under src>/<Header>.h", so src/ is the one include root.
function(quillon_add_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  if(sources)
    add_library(${target} STATIC ${sources} ${headers})
    target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE ${headers})
    target_include_directories(${target} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# quillon_add_test(<target> [DEPS <targets>...] [MEDIA])
# One GoogleTest executable per component; MEDIA makes its tests wait for the generated media.
function(quillon_add_test target)
  cmake_parse_arguments(ARG "MEDIA" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_compile_definitions(${target} PRIVATE
    QUILLON_TEST_MEDIA_DIR="${QUILLON_TEST_MEDIA_DIR}"
    QUILLON_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set(properties ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(ARG_MEDIA)
    list(APPEND properties FIXTURES_REQUIRED test_media)
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
endfunction()
