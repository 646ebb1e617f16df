# Each core subsystem is a static library made of the sources in its folder
# (views/ excluded: those build into the UI library). New files are picked up
# without editing any CMakeLists.
function(routereel_core_module name)
  cmake_parse_arguments(M "" "" "DEPENDS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  set(cpp ${srcs})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(cpp)
    add_library(routereel_${name} STATIC ${srcs})
    routereel_autogen_tracks_sources(routereel_${name} ${srcs})
    set(scope PUBLIC)
  else()
    add_library(routereel_${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(routereel_${name} ${scope} ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(routereel_${name} ${scope} ${M_DEPENDS})
endfunction()

# One test executable per folder of tests/. LABEL "core" marks tests that the
# sanitizer build runs too; views tests need a display (offscreen or Xvfb). Every
# wait inside a test has its own bound; the test's is for one that hangs: the sweeps
# take minutes on a busy machine, several times that under the sanitizers.
function(routereel_test name)
  cmake_parse_arguments(M "" "LABEL;MAIN;TEST_FILTER" "DEPENDS;SOURCES;ENVIRONMENT" ${ARGN})
  if(NOT M_TEST_FILTER)
    set(M_TEST_FILTER "*")
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(LENGTH srcs n)
  if(n EQUAL 0)
    return()
  endif()
  add_executable(test_${name} ${srcs} ${M_SOURCES})
  routereel_autogen_tracks_sources(test_${name} ${srcs})
  target_link_libraries(test_${name} PRIVATE ${M_DEPENDS} ${M_MAIN} routereel_testsupport GTest::gtest GTest::gmock)
  target_compile_definitions(test_${name} PRIVATE
      ROUTEREEL_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
      ROUTEREEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(test_${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      TEST_FILTER "${M_TEST_FILTER}"
      PROPERTIES LABELS "${M_LABEL}" TIMEOUT 900 ENVIRONMENT "${M_ENVIRONMENT}")
endfunction()

# The tests of `filter` in test_<name> again on screens at 150 % and 200 %
# (QT_SCALE_FACTOR, rounding passed through): views must draw at the device's
# pixels and keep their sizes in points. Screenshots go to a folder per scale.
function(routereel_scaled_tests name filter)
  if(NOT TARGET test_${name})
    return()
  endif()
  foreach(percent 150 200)
    if(percent EQUAL 150)
      set(factor 1.5)
    else()
      set(factor 2)
    endif()
    add_test(NAME "AtScale${percent}.${name}" COMMAND test_${name} "--gtest_filter=${filter}")
    set_tests_properties("AtScale${percent}.${name}" PROPERTIES LABELS views TIMEOUT 600
        ENVIRONMENT "QT_SCALE_FACTOR=${factor};QT_SCALE_FACTOR_ROUNDING_POLICY=PassThrough;ROUTEREEL_ARTIFACTS=${CMAKE_BINARY_DIR}/test-artifacts/at-${percent}")
  endforeach()
endfunction()

# Automoc does not notice a globbed header that appears later (stale mocs, missing
# vtables): its timestamp depends only on the headers it already knows. When the
# source list changes, drop the timestamp so moc runs again on the next build.
function(routereel_autogen_tracks_sources target)
  string(SHA1 hash "${ARGN}")
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp)
  set(hash_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen_sources.sha1)
  if(EXISTS ${hash_file})
    file(READ ${hash_file} old_hash)
  else()
    set(old_hash "")
  endif()
  if(NOT old_hash STREQUAL hash)
    file(REMOVE ${stamp})
    file(WRITE ${hash_file} ${hash})
  endif()
endfunction()

# The tests of `filter` in test_<name> again on the faulty disk (support/slowdiskpreload.cpp),
# whose EIO the children (ffmpeg) inherit; elsewhere those tests skip. Not under the
# sanitizers, whose runtime must come first in the process.
function(routereel_faulty_disk_tests name filter label)
  if(NOT TARGET routereel_slowdisk OR NOT TARGET test_${name})
    return()
  endif()
  add_test(NAME "OnAFaultyDisk.${name}" COMMAND test_${name} "--gtest_filter=${filter}")
  set_tests_properties("OnAFaultyDisk.${name}" PROPERTIES LABELS ${label} TIMEOUT 300
                       ENVIRONMENT "LD_PRELOAD=$<TARGET_FILE:routereel_slowdisk>")
  add_dependencies(test_${name} routereel_slowdisk)
endfunction()
