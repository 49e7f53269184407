# Makes the Debian package as the README says (cpack -G DEB in the build folder) into a throw-away folder and
# checks its file list and that its dependencies were computed from the binaries.
# cmake -DBUILD_DIR=... -DOUT_DIR=... -DAPP_ID=... -P packagecheck.cmake
file(REMOVE_RECURSE "${OUT_DIR}")
execute_process(COMMAND cpack -G DEB -B "${OUT_DIR}" WORKING_DIRECTORY "${BUILD_DIR}"
    RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
file(GLOB _deb "${OUT_DIR}/quillabrix_*.deb")
if(_rc OR NOT _deb)
    message(FATAL_ERROR "cpack -G DEB failed (${_rc}):\n${_out}")
endif()

execute_process(COMMAND dpkg-deb -f "${_deb}" Package Depends OUTPUT_VARIABLE _fields)
if(NOT _fields MATCHES "Package: quillabrix\n")
    message(SEND_ERROR "not the package quillabrix:\n${_fields}")
endif()
foreach(_lib libqt6webenginewidgets6 libqt6webenginecore6-bin libsqlcipher0 libc6)
    if(NOT _fields MATCHES "${_lib} \\(>=")
        message(SEND_ERROR "dependency on ${_lib} not computed:\n${_fields}")
    endif()
endforeach()

execute_process(COMMAND dpkg-deb -c "${_deb}" OUTPUT_VARIABLE _list)
foreach(_f bin/quillabrix bin/quillabrix-portal share/quillabrix/ruffle/ruffle.js share/quillabrix/nogame.swf
        share/quillabrix/QuillabrixGame.dll share/applications/${APP_ID}.desktop
        share/metainfo/${APP_ID}.metainfo.xml share/icons/hicolor/48x48/apps/${APP_ID}.png
        share/icons/hicolor/256x256/apps/${APP_ID}.png)
    if(NOT _list MATCHES " \\./usr/${_f}\n")
        message(SEND_ERROR "not in the package: /usr/${_f}")
    endif()
endforeach()
