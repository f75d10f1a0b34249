# Installation (GNUInstallDirs) and the Debian package.
#   cmake --install build --prefix /usr/local      programs, desktop entry, icon, sounds, docs
#   (cd build && cpack -G DEB)                       quorvel_<version>_amd64.deb
# Installed layout: <prefix>/bin/{quorvel,quorvel-cli}; <prefix>/lib/quorvel/LibAV (an
# optional private copy of the media libraries, else the system's are used);
# <prefix>/share/quorvel/sounds; settings in ~/.config/Quorvel (the program folder is not
# the user's).

# The sounds are written by a small generator at build time.
add_executable(quorvel_make_sounds packaging/MakeSounds.cpp)
set(QUORVEL_SOUNDS_DIR ${CMAKE_BINARY_DIR}/sounds)
add_custom_command(
  OUTPUT ${QUORVEL_SOUNDS_DIR}/ring001.wav ${QUORVEL_SOUNDS_DIR}/cam.wav
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEL_SOUNDS_DIR}
  COMMAND quorvel_make_sounds ${QUORVEL_SOUNDS_DIR}
  DEPENDS quorvel_make_sounds
  COMMENT "Writing the sounds")
add_custom_target(quorvel_sounds ALL DEPENDS ${QUORVEL_SOUNDS_DIR}/ring001.wav)

set(QUORVEL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quorvel)
install(FILES ${QUORVEL_SOUNDS_DIR}/ring001.wav ${QUORVEL_SOUNDS_DIR}/cam.wav
        DESTINATION ${QUORVEL_DATA_DIR}/sounds)
# A fixed "lib" (not the multiarch library folder): the programs look for ../lib/quorvel.
install(DIRECTORY DESTINATION lib/quorvel/LibAV)
install(FILES packaging/quorvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/quorvel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel)

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Quorvel developers")
set(CPACK_PACKAGE_CONTACT "Quorvel developers <quorvel@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter for video and audio files")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quorvel converts lists of video and audio files with 146 device presets, shows
each file's progress, previews sources and takes snapshots. quorvel-cli runs the
same conversions from scripts and servers.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The media libraries and SDL are opened at run time, so the linker cannot see them:
# they are named here. What the programs link (C++ run time, Qt) is found by shlibdeps.
set(QUORVEL_RUNTIME_DEPENDS
    "libavcodec59, libavformat59, libavfilter8, libavutil57, libswscale6, libswresample4, "
    "libavdevice59, libsdl2-2.0-0")
find_program(QUORVEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUORVEL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif(QUORVEL_BUILD_GUI)
  string(APPEND QUORVEL_RUNTIME_DEPENDS ", libqt6widgets6, libqt6gui6, libqt6core6")
endif()
if(QUORVEL_BUILD_GUI)
  # The window needs a platform plugin, which nothing links.
  string(APPEND QUORVEL_RUNTIME_DEPENDS ", qt6-qpa-plugins")
endif()
string(REPLACE ";" "" QUORVEL_RUNTIME_DEPENDS "${QUORVEL_RUNTIME_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${QUORVEL_RUNTIME_DEPENDS}")
include(CPack)
