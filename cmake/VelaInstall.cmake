# Installation: the library, its headers and a CMake package, so that
#   find_package(VelaGlobal CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE VelaGlobal::VelaGlobal)
# works from the install prefix, and plug-ins build with vela_add_plugin().
# Everything belongs to one of three components, which are also the Debian
# packages (cmake/VelaPackaging.cmake): "runtime" (the libraries), "dev"
# (headers, CMake package, plug-in helper) and "tools" (velahost with its
# application folder).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELA_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VelaGlobal)
# velahost's application folder: the executable, the shipped application
# files and the sample plug-ins, as in the build's bin/.
set(VELA_INSTALL_APPDIR lib/velaglobal)

# Installed libraries find the ones they link (the editor's stand-ins)
# beside themselves.
if(UNIX AND NOT APPLE)
    set_target_properties(${VELA_INSTALL_TARGETS} PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS ${VELA_INSTALL_TARGETS}
    EXPORT VelaGlobalTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
)
# What a plug-in is built against: the interface headers alone.
set_target_properties(VelaPluginInterfaces PROPERTIES EXPORT_NAME PluginInterfaces)
install(TARGETS VelaPluginInterfaces EXPORT VelaGlobalTargets COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/VelaGlobal
    COMPONENT dev
    FILES_MATCHING PATTERN "*.h"
)
install(EXPORT VelaGlobalTargets
    NAMESPACE VelaGlobal::
    DESTINATION ${VELA_INSTALL_CMAKEDIR}
    COMPONENT dev
)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VelaGlobalConfig.cmake.in
    ${CMAKE_BINARY_DIR}/VelaGlobalConfig.cmake
    INSTALL_DESTINATION ${VELA_INSTALL_CMAKEDIR}
)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VelaGlobalConfigVersion.cmake
    COMPATIBILITY SameMajorVersion
)
install(FILES
    ${CMAKE_BINARY_DIR}/VelaGlobalConfig.cmake
    ${CMAKE_BINARY_DIR}/VelaGlobalConfigVersion.cmake
    ${PROJECT_SOURCE_DIR}/cmake/VelaGlobalPlugin.cmake
    DESTINATION ${VELA_INSTALL_CMAKEDIR}
    COMPONENT dev
)

# velahost finds its application folder beside itself; the command is a
# link to it.
if(UNIX AND NOT APPLE)
    set_target_properties(velahost PROPERTIES
        INSTALL_RPATH "$ORIGIN/../../${CMAKE_INSTALL_LIBDIR}")
endif()
install(TARGETS velahost RUNTIME DESTINATION ${VELA_INSTALL_APPDIR} COMPONENT tools)
install(TARGETS VelaSampleBrushes VelaImageIO
    LIBRARY DESTINATION ${VELA_INSTALL_APPDIR}/plugins COMPONENT tools
)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/app/
    DESTINATION ${VELA_INSTALL_APPDIR}
    COMPONENT tools
    PATTERN CMakeLists.txt EXCLUDE
)
if(UNIX)
    install(CODE "
        set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(MAKE_DIRECTORY \"\${bin}\")
        file(CREATE_LINK ../${VELA_INSTALL_APPDIR}/velahost \"\${bin}/velahost\" SYMBOLIC)
    " COMPONENT tools)
endif()
