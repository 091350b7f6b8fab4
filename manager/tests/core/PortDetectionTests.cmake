# Port detection on a fake sysfs. The program re-executes itself under umockdev's preload library (after the
# sanitizer runtime when there is one), so gtest discovery and ctest need no wrapper.
pkg_check_modules(VELMO_UMOCKDEV REQUIRED IMPORTED_TARGET umockdev-1.0)
add_executable(velmo_port_detection_tests PortDetectionTest.cpp)
target_link_libraries(velmo_port_detection_tests PRIVATE velmo_manager_core PkgConfig::VELMO_UMOCKDEV GTest::gtest
                                                         ${CMAKE_DL_LIBS})
gtest_discover_tests(velmo_port_detection_tests TEST_PREFIX "manager.core." PROPERTIES TIMEOUT
                     ${VELMO_MANAGER_TEST_TIMEOUT} DISCOVERY_TIMEOUT 30)
