# The status model (pure functions and the blink timer) and the profile store with its phonebook entries; the
# profile tests bind the real libVelmoModem.so beside the test binary.
add_executable(velmo_manager_model_tests StatusModelTest.cpp ProfilesTest.cpp)
target_link_libraries(velmo_manager_model_tests PRIVATE velmo_manager_core GTest::gtest_main)
add_dependencies(velmo_manager_model_tests VelmoModem)
gtest_discover_tests(velmo_manager_model_tests TEST_PREFIX "manager.core." PROPERTIES TIMEOUT
                     ${VELMO_MANAGER_TEST_TIMEOUT} DISCOVERY_TIMEOUT 30)
