# Where the installed tree keeps its parts, all relative to the prefix so that
# a tree still works after it has been moved:
#   bin/                      Ripper, riptrack, mkdiscimage
#   lib/ripper/               libCDRip, liblame_enc, libcddrives (found through $ORIGIN)
#   lib/pkgconfig/            ripper-cdrip.pc, ripper-lame_enc.pc
#   include/ripper/           CDRip.h, LameEnc.h
#   share/ripper/recom_GR|EN/ the wizard pictures
include(GNUInstallDirs)

foreach(dir BINDIR LIBDIR DATADIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    message(FATAL_ERROR "CMAKE_INSTALL_${dir} must be relative to the prefix: the installed tree finds its parts relative to itself")
  endif()
endforeach()

set(RIPPER_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/ripper)
set(RIPPER_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/ripper)
set(RIPPER_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

file(RELATIVE_PATH _ripper_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${RIPPER_INSTALL_LIBDIR})
set(CMAKE_INSTALL_RPATH "$ORIGIN/${_ripper_bin_to_lib}")
# The data folder seen from the program folder; the program looks there for
# its pictures when none are beside it.
file(RELATIVE_PATH RIPPER_DATA_FROM_BIN /${CMAKE_INSTALL_BINDIR} /${RIPPER_INSTALL_DATADIR})

# One of our C libraries: VERSION and SOVERSION from the <PREFIX>_VERSION_*
# macros of its public header (so the header and the file name cannot part),
# the library into the private folder, the header into include/ripper/ and a
# pkg-config file `pc_name`.pc that finds both relative to itself.
function(ripper_install_c_library target header prefix pc_name description)
  foreach(part MAJOR MINOR PATCH)
    file(STRINGS ${header} line REGEX "^#define ${prefix}_VERSION_${part} +[0-9]+$")
    string(REGEX REPLACE "^.* ([0-9]+)$" "\\1" number "${line}")
    if(NOT number MATCHES "^[0-9]+$")
      message(FATAL_ERROR "${header}: no ${prefix}_VERSION_${part}")
    endif()
    set(${part} ${number})
  endforeach()
  set(version ${MAJOR}.${MINOR}.${PATCH})
  set_target_properties(${target} PROPERTIES VERSION ${version} SOVERSION ${MAJOR})
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

  install(TARGETS ${target} LIBRARY DESTINATION ${RIPPER_INSTALL_LIBDIR})
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ripper)

  file(RELATIVE_PATH pc_to_prefix /${RIPPER_INSTALL_PKGCONFIGDIR} /)
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  get_target_property(output_name ${target} OUTPUT_NAME)
  set(PC_NAME ${pc_name})
  set(PC_DESCRIPTION ${description})
  set(PC_VERSION ${version})
  set(PC_LIBRARY ${output_name})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/ripper-library.pc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${pc_name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc_name}.pc DESTINATION ${RIPPER_INSTALL_PKGCONFIGDIR})
endfunction()
