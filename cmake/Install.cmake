# What `cmake --install BUILD --prefix P` lays out:
#   P/lib/tonquil/   the programs with what they load from their own folder: the MP3
#                    library, the WMA profiles, the manual, the driver stand-in and its
#                    installer (found beside the daemon as "Tavrin" and "Tavrin64")
#   P/bin/           links to the four programs
#   P/share/applications/parvane.desktop, P/share/icons/hicolor/scalable/apps/parvane.svg
# A program finds its own folder through /proc/self/exe, so the links in bin/ work.
set(TONQUIL_INSTALL_DIR lib/tonquil)

install(TARGETS QXService Parvane tonquil-audio-driver Tavrin RUNTIME DESTINATION ${TONQUIL_INSTALL_DIR})
install(TARGETS lame_enc LIBRARY DESTINATION ${TONQUIL_INSTALL_DIR})
file(GLOB _tonquil_profiles ${CMAKE_SOURCE_DIR}/service/encoders/wma/profiles/*.prx)
install(FILES ${_tonquil_profiles} ${CMAKE_SOURCE_DIR}/desktop/app/help/qxmanual.html DESTINATION ${TONQUIL_INSTALL_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/desktop/app/icons/parvane.svg DESTINATION share/icons/hicolor/scalable/apps)

# The links and the menu entry name the prefix given at install time.
install(CODE [[
  set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  file(MAKE_DIRECTORY "${_root}/bin" "${_root}/share/applications")
  file(CREATE_LINK Tavrin "${_root}/lib/tonquil/Tavrin64" SYMBOLIC)
  foreach(_program QXService Parvane tonquil-audio-driver Tavrin)
    file(CREATE_LINK ../lib/tonquil/${_program} "${_root}/bin/${_program}" SYMBOLIC)
  endforeach()
  file(WRITE "${_root}/share/applications/parvane.desktop"
"[Desktop Entry]
Type=Application
Name=Parvane
GenericName=Time-shift audio recorder
Comment=Record what the computer plays, replay it and save selections as MP3, OGG, WMA or AAC
Exec=${CMAKE_INSTALL_PREFIX}/bin/Parvane
Icon=parvane
Terminal=false
Categories=AudioVideo;Audio;Recorder;
")
  message(STATUS "Installing: ${_root}/bin (links to the programs) and ${_root}/share/applications/parvane.desktop")
]])
