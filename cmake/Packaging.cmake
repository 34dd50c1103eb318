# `cpack` in a build directory: on Linux the Debian package
# kbnconv_<version>_amd64.deb (everything cmake/Install.cmake installs, under
# /usr), for Windows the zip kbnconv-<version>-win32.zip (or -win64) of the
# programs and their documentation. The version is the project's.
set(CPACK_PACKAGE_NAME kbnconv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Seed 8a51115a maintainers <maintainers@users.noreply.c-seed-8a51115a.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts SoundFont banks and WAV files into KBN banks")
set(CPACK_PACKAGE_DESCRIPTION
"kbnconv converts a SoundFont bank (SF2, 16- or 24-bit, or SF3 with Ogg
Vorbis samples) or a 16-bit WAV file into a KBN bank: the same samples,
instruments and presets, with every sample losslessly compressed. kbndump
lists, tests and extracts KBN banks, and rebuilds SoundFonts from them.
.
libkbn, for players and tools, reads KBN banks: its C header <kbn/kbn.h>,
static library, CMake package (find_package(kbn)) and pkg-config file (kbn).")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  # The libraries the programs link, as dpkg-shlibdeps (dpkg-dev) finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # A program linking the static library needs libvorbisfile's development
  # files and, for kbn.pc, pkg-config.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libvorbis-dev, pkg-config")
endif()

include(CPack)
