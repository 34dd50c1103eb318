# What `cmake --install` puts where, included at the end of the top-level
# CMakeLists.txt.
#
# Linux: both programs and their man pages; the library with its header,
# a CMake package (find_package(kbn) gives kbn::kbn) and a pkg-config file
# (kbn.pc).
# Windows: the two programs, the README and the man pages rendered as plain
# text, side by side in one folder; that is the whole zip (Packaging.cmake).

if(WIN32)
  # The man pages as plain ASCII text, for readers without man: groff's
  # terminal output with its bold and underlining (overstrikes) left out.
  find_program(KBN_GROFF groff)
  if(NOT KBN_GROFF)
    message(FATAL_ERROR "groff renders the man pages for the Windows package: install groff-base")
  endif()
  foreach(page kbnconv kbndump)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${page}.txt
      COMMAND ${KBN_GROFF} -man -Tascii -P-cbou ${CMAKE_CURRENT_SOURCE_DIR}/man/${page}.1
              > ${CMAKE_CURRENT_BINARY_DIR}/${page}.txt
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/${page}.1
      COMMENT "Rendering the ${page}(1) man page as text" VERBATIM)
    list(APPEND KBN_MAN_TEXT ${CMAKE_CURRENT_BINARY_DIR}/${page}.txt)
  endforeach()
  add_custom_target(kbn_man_text ALL DEPENDS ${KBN_MAN_TEXT})
  install(TARGETS kbnconv kbndump RUNTIME DESTINATION .)
  if(BUILD_SHARED_LIBS)
    install(TARGETS kbn RUNTIME DESTINATION .) # the DLL the programs load
  endif()
  install(FILES README.md ${KBN_MAN_TEXT} DESTINATION .)
  return()
endif()

if(BUILD_SHARED_LIBS)
  # The installed programs find the installed libkbn.so wherever the prefix is.
  file(RELATIVE_PATH KBN_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(kbnconv kbndump PROPERTIES INSTALL_RPATH "$ORIGIN/${KBN_BIN_TO_LIB}")
endif()
install(TARGETS kbnconv kbndump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/kbnconv.1 man/kbndump.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# kbn_warnings only sets how the library itself compiles, but a static kbn
# names everything it links in its interface, which the export would have to
# carry too.
get_target_property(KBN_INTERFACE kbn INTERFACE_LINK_LIBRARIES)
if(KBN_INTERFACE)
  list(REMOVE_ITEM KBN_INTERFACE "$<LINK_ONLY:kbn_warnings>")
  set_target_properties(kbn PROPERTIES INTERFACE_LINK_LIBRARIES "${KBN_INTERFACE}")
endif()
set_target_properties(kbn PROPERTIES PUBLIC_HEADER include/kbn/kbn.h)
install(TARGETS kbn EXPORT kbnTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kbn)

# A static kbn is C++ inside: a program linked as C needs the C++ runtime
# too, what the C++ compiler links beyond the C runtime (with GCC, libstdc++
# and libm). The CMake package and kbn.pc both name it.
set(KBN_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_ITEM KBN_CXX_RUNTIME c gcc gcc_s)
list(REMOVE_DUPLICATES KBN_CXX_RUNTIME)

# The CMake package; kbnConfig.cmake finds what a static kbn leaves to the
# program that links it.
include(CMakePackageConfigHelpers)
set(KBN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kbn)
install(EXPORT kbnTargets NAMESPACE kbn:: DESTINATION ${KBN_CMAKE_DIR})
configure_package_config_file(cmake/kbnConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/kbnConfig.cmake
                              INSTALL_DESTINATION ${KBN_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kbnConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kbnConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/kbnConfigVersion.cmake
        DESTINATION ${KBN_CMAKE_DIR})

# The pkg-config file. Its paths are the ones installed to, which only the
# installation knows (`cmake --install --prefix DIR`, or /usr in the Debian
# package): configured now but for the prefix, which is filled in then.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(KBN_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(KBN_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
if(BUILD_SHARED_LIBS)
  set(KBN_PC_CFLAGS " -DKBN_SHARED")
else()
  # A static libkbn needs libvorbisfile, threads and the C++ runtime.
  set(KBN_PC_REQUIRES_PRIVATE "Requires.private: vorbisfile vorbis ogg")
  list(TRANSFORM KBN_CXX_RUNTIME PREPEND -l OUTPUT_VARIABLE KBN_PC_LIBS_PRIVATE)
  list(JOIN KBN_PC_LIBS_PRIVATE " " KBN_PC_LIBS_PRIVATE)
  set(KBN_PC_LIBS_PRIVATE "Libs.private: ${KBN_PC_LIBS_PRIVATE} -pthread")
endif()
set(KBN_PC_PREFIX "@KBN_PC_PREFIX@")
configure_file(cmake/kbn.pc.in ${CMAKE_CURRENT_BINARY_DIR}/kbn.pc.in @ONLY)
install(CODE "
  get_filename_component(KBN_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/kbn.pc.in\" \"${CMAKE_CURRENT_BINARY_DIR}/kbn.pc\" @ONLY)
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kbn.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
