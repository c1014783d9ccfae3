# trimwell_test_suite(NAME
#   SOURCES file...            the suite's tests, beside its CMakeLists.txt
#   [SUPPORT name...]          helpers from tests/support/ (temp_dir, allocation_counter, ...)
#   LIBRARIES target...        what the tests run against
#   [SAMPLES]                  the sample library: TRIMWELL_SAMPLE_DIR, built first
#   [OWN_MAIN]                 the suite has its own main() (a QApplication first)
#   [DEFINITIONS def...]       further compile definitions
#   [DEPENDS target...]        further targets to build first
#   [TIMEOUT seconds]          for each test, else ctest's default
#   [ENVIRONMENT var=value...] for each test
#   [RESOURCE_LOCK name]       no two tests holding the lock run at once)
# One executable per subsystem, each of its tests a ctest test of its own.
function(trimwell_test_suite name)
  cmake_parse_arguments(PARSE_ARGV 1 suite "SAMPLES;OWN_MAIN" "TIMEOUT;RESOURCE_LOCK"
                        "SOURCES;SUPPORT;LIBRARIES;DEFINITIONS;DEPENDS;ENVIRONMENT")
  set(sources ${suite_SOURCES})
  foreach(helper ${suite_SUPPORT})
    list(APPEND sources ${TRIMWELL_TESTS_DIR}/support/${helper}.cpp)
  endforeach()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${TRIMWELL_TESTS_DIR})
  if(suite_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${suite_LIBRARIES} GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${suite_LIBRARIES} GTest::gtest_main)
  endif()
  if(suite_SAMPLES)
    target_compile_definitions(${name} PRIVATE TRIMWELL_SAMPLE_DIR="${PROJECT_BINARY_DIR}/plugins/datasheets")
    add_dependencies(${name} sample_library)
  endif()
  if(suite_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${suite_DEFINITIONS})
  endif()
  if(suite_DEPENDS)
    add_dependencies(${name} ${suite_DEPENDS})
  endif()
  set(properties)
  if(suite_TIMEOUT)
    set(properties TIMEOUT ${suite_TIMEOUT})
  endif()
  if(suite_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK ${suite_RESOURCE_LOCK})
  endif()
  # Every suite runs in the tests' own build folder, whatever folder it is built in.
  set(discover ${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  # gtest_discover_tests hands its properties on item by item, so an environment
  # of several variables would keep only its first: the suite's programs are run
  # (and listed) through env instead, which takes them all.
  if(suite_ENVIRONMENT)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR env ${suite_ENVIRONMENT})
  endif()
  if(properties)
    gtest_discover_tests(${discover} PROPERTIES ${properties})
  else()
    gtest_discover_tests(${discover})
  endif()
endfunction()
