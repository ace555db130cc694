# cmake --install: the tool in bin/, its players and the self-playing page's
# template in share/quillo/ (where the tool looks for them, relative to its
# own program file), the manual page;
# and the Debian package (cpack -G DEB in the build folder) of the same.
include(GNUInstallDirs)
if(TARGET quillo)
  install(TARGETS quillo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/tools/quillo/quillo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET quillo-player)
  install(PROGRAMS $<TARGET_FILE:quillo-player> DESTINATION ${CMAKE_INSTALL_DATADIR}/quillo)
endif()
# The Windows player comes from its own cross build; installed when it exists.
set(QUILLO_WINDOWS_PLAYER "${PROJECT_SOURCE_DIR}/build/windows/platform/win32/Quillo.exe"
    CACHE FILEPATH "Quillo.exe to install beside the tool, when it exists")
install(FILES ${QUILLO_WINDOWS_PLAYER} DESTINATION ${CMAKE_INSTALL_DATADIR}/quillo OPTIONAL)
# So does the self-playing page's template, from the web build (quillo make
# NAME.html).
set(QUILLO_MESSAGE_PAGE "${PROJECT_SOURCE_DIR}/build/web/site/message.html"
    CACHE FILEPATH "message.html to install beside the players, when it exists")
install(FILES ${QUILLO_MESSAGE_PAGE} DESTINATION ${CMAKE_INSTALL_DATADIR}/quillo OPTIONAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillo developers <quillo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-playing voice messages: make, inspect and play them")
set(CPACK_PACKAGE_DESCRIPTION
    "quillo makes a self-playing voice message from any recording or the microphone: "
    "the speech is encoded at 6.4, 8 or 11.8 kbit/s and put behind a small player "
    "program for Windows or Linux. It also inspects, decodes and plays messages.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The libraries the tool and the Linux player link, as dpkg-shlibdeps finds
# them (libsndfile, libsoxr, nettle, SDL2, the C++ runtime).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# MP3 and Opus input need libsndfile 1.1 or later.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsndfile1 (>= 1.1.0)")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
