# Shared build settings: one helper makes every layer's library and every test executable.

function(tandemo_apply_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  if(TANDEMO_WITH_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(TANDEMO_SANITIZE)
  add_compile_options(-fsanitize=${TANDEMO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TANDEMO_SANITIZE})
endif()

# tandemo_library(NAME SOURCES ... DEPS ...): the library of one source folder, linked as tandemo::NAME.
function(tandemo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(tandemo_${name} STATIC ${ARG_SOURCES})
  add_library(tandemo::${name} ALIAS tandemo_${name})
  target_include_directories(tandemo_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/platform)
  target_link_libraries(tandemo_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  tandemo_apply_settings(tandemo_${name})
endfunction()

# tandemo_test(NAME SOURCES ... DEPS ...): one GoogleTest executable per layer, registered with CTest.
function(tandemo_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;ENVIRONMENT_MODIFICATION" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE TANDEMO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  tandemo_apply_settings(${name})
  include(GoogleTest)
  if(ARG_ENVIRONMENT_MODIFICATION)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT_MODIFICATION "${ARG_ENVIRONMENT_MODIFICATION}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
