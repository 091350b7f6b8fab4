# The device worker and the connection control in virtual time: against a scripted modem (transcripts in
# transcripts/, VELMO_UPDATE_TRANSCRIPTS=1 rewrites them) and against the stand-in with the real library.
add_executable(velmo_manager_machine_tests DeviceStateMachineTest.cpp ConnectionControlTest.cpp
                                           MachineStandInTest.cpp)
target_link_libraries(velmo_manager_machine_tests PRIVATE velmo_manager_core velmo_simulator GTest::gtest_main)
target_compile_definitions(velmo_manager_machine_tests
                           PRIVATE VELMO_TRANSCRIPT_DIR="${CMAKE_CURRENT_SOURCE_DIR}/transcripts")
add_dependencies(velmo_manager_machine_tests VelmoModem)
gtest_discover_tests(velmo_manager_machine_tests TEST_PREFIX "manager.core." PROPERTIES TIMEOUT
                     ${VELMO_MANAGER_TEST_TIMEOUT} DISCOVERY_TIMEOUT 30)
