# cmake --install puts the module, its services and their headers under the
# prefix, with a package configuration, so that find_package(light_ctrl CONFIG)
# gives the same light_ctrl:: targets as add_subdirectory.
include(CMakePackageConfigHelpers)

set(LIGHT_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/light_ctrl)

install(TARGETS light_ctrl light_timer light_nvm light_utilities
  EXPORT light_ctrlTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${LIGHT_INSTALL_INCLUDEDIR})
# The public headers and the board contracts a port implements.
install(FILES
  ${PROJECT_SOURCE_DIR}/Light/light_ctrl.h
  ${PROJECT_SOURCE_DIR}/System/timer.h
  ${PROJECT_SOURCE_DIR}/System/timer_service.h
  ${PROJECT_SOURCE_DIR}/System/nvm_data_mgmt.h
  ${PROJECT_SOURCE_DIR}/System/utilities.h
  ${PROJECT_SOURCE_DIR}/Boards/pwm.h
  ${PROJECT_SOURCE_DIR}/Boards/tim.h
  ${PROJECT_SOURCE_DIR}/Boards/flash.h
  ${PROJECT_SOURCE_DIR}/Boards/erase_ahead.h
  DESTINATION ${LIGHT_INSTALL_INCLUDEDIR})
install(EXPORT light_ctrlTargets NAMESPACE light_ctrl:: DESTINATION ${LIGHT_INSTALL_CMAKEDIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/light_ctrlConfig.cmake.in
  ${PROJECT_BINARY_DIR}/light_ctrlConfig.cmake INSTALL_DESTINATION ${LIGHT_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/light_ctrlConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/light_ctrlConfig.cmake
  ${PROJECT_BINARY_DIR}/light_ctrlConfigVersion.cmake DESTINATION ${LIGHT_INSTALL_CMAKEDIR})
