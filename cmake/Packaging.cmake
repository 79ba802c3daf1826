# Installation layout and the Debian package. The program and its country data live together in
# lib/ombrix (the program looks for its data beside itself); bin/ombrix is a link to it.
include(GNUInstallDirs)
set(OMBRIX_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/ombrix)

install(TARGETS ombrix RUNTIME DESTINATION ${OMBRIX_INSTALL_DIR})
install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    execute_process(COMMAND \${CMAKE_COMMAND} -E create_symlink
        ../${OMBRIX_INSTALL_DIR}/ombrix
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/ombrix\")
")
foreach(data GeoBase.dat GeoBase6.dat Countries.dat)
    install(FILES ${PROJECT_BINARY_DIR}/${data} DESTINATION ${OMBRIX_INSTALL_DIR} OPTIONAL)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ombrix.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ombrix.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The IPFIX export service: installed, never enabled by the package.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ombrix.service DESTINATION lib/systemd/system)
# CPack writes no copyright file; Debian expects one beside the package's documents.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ombrix)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ombrix)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Network traffic accounting monitor")
set(CPACK_PACKAGE_CONTACT "Ombrix developers <ombrix@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
