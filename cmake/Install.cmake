# Installing like a desktop program, and the Debian package.
#
#   bin/                    orva7000, orvactl, orva-sim
#   lib/orva7000/           libH264_Q7.so (its own rule in media/h264q7)
#   share/orva7000/         OrvaRes.rcc, ComMark.bmp, VdoLoss.bmp
#   share/applications/     orva7000.desktop
#   share/icons/hicolor/scalable/apps/orva7000.svg
include(GNUInstallDirs)

foreach(program orva7000 orvactl orva-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin COMPONENT client)
  endif()
endforeach()

if(TARGET orva_resources)
  install(FILES
      ${CMAKE_BINARY_DIR}/bin/OrvaRes.rcc
      ${CMAKE_BINARY_DIR}/bin/ComMark.bmp
      ${CMAKE_BINARY_DIR}/bin/VdoLoss.bmp
    DESTINATION share/orva7000 COMPONENT client)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/orva7000.desktop DESTINATION share/applications COMPONENT client)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/orva7000.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT client)

# ---------------------------------------------------------------- packaging
set(CPACK_PACKAGE_NAME "orva7000")
set(CPACK_PACKAGE_VENDOR "Tarn")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop remote client for ORVA7000 network video recorders")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Watches the cameras of an ORVA7000 recorder live, searches and plays back its recordings, downloads "
    "and plays them locally, edits the recorder's setup and upgrades its firmware. Includes the command-line "
    "tool orvactl and the recorder simulator orva-sim.")
set(CPACK_PACKAGE_CONTACT "ORVA7000 client maintainers <orva7000@localhost>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "orva7000")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_GENERATOR "DEB")
# Release-size programs: the debugging information stays in the build tree.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/orva7000")
find_program(ORVA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ORVA_DPKG_SHLIBDEPS)
  # The libraries (Qt, FFmpeg, libjpeg, libtiff) come from what the programs link.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # libH264_Q7.so is the package's own, in a private folder.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/bin")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6widgets6, libqt6multimedia6, libqt6opengl6, libqt6openglwidgets6, libqt6printsupport6, libqt6dbus6, libavcodec59, libavformat59, libavutil57, libswscale6, libjpeg62-turbo, libtiff6")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, fonts-dejavu-core")
include(CPack)
