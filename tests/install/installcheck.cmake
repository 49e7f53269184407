# Installs the build into a throw-away DESTDIR as a packager would, checks that every part of the layout is
# there and runs the desktop's own validators on the menu entry and the metainfo.
# cmake -DBUILD_DIR=... -DDEST_DIR=... -DAPP_ID=... -P installcheck.cmake
file(REMOVE_RECURSE "${DEST_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${DEST_DIR}" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix /usr
    RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_VARIABLE _err)
if(_rc)
    message(FATAL_ERROR "cmake --install failed: ${_err}")
endif()

set(_root "${DEST_DIR}/usr")
set(_expected
    bin/quillabrix bin/quillabrix-portal
    share/quillabrix/ruffle/ruffle.js share/quillabrix/html/main.html share/quillabrix/images/icon.png
    share/quillabrix/no.gif share/quillabrix/nogame.swf share/quillabrix/QuillabrixGame.dll
    share/applications/${APP_ID}.desktop share/metainfo/${APP_ID}.metainfo.xml)
foreach(_size 16 32 48 64 128 256)
    list(APPEND _expected share/icons/hicolor/${_size}x${_size}/apps/${APP_ID}.png)
endforeach()
foreach(_f IN LISTS _expected)
    if(NOT EXISTS "${_root}/${_f}")
        message(SEND_ERROR "not installed: /usr/${_f}")
    endif()
endforeach()
file(GLOB _wasm "${_root}/share/quillabrix/ruffle/*.wasm")
if(NOT _wasm)
    message(SEND_ERROR "not installed: the player's wasm files")
endif()
# Nothing of a user's own may come with the program.
foreach(_own flash pic saves)
    if(EXISTS "${_root}/share/quillabrix/${_own}" OR EXISTS "${_root}/bin/${_own}")
        message(SEND_ERROR "installed what belongs to a user: ${_own}")
    endif()
endforeach()

foreach(_check "desktop-file-validate;${_root}/share/applications/${APP_ID}.desktop"
               "appstreamcli;validate;--no-net;${_root}/share/metainfo/${APP_ID}.metainfo.xml")
    execute_process(COMMAND ${_check} RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
    if(_rc)
        message(SEND_ERROR "${_check} failed (${_rc}):\n${_out}")
    elseif(_out MATCHES "(^|\n)(E|W|error|warning):")
        message(SEND_ERROR "${_check} complained:\n${_out}")
    endif()
endforeach()

# The menu entry speaks the user's language too.
file(STRINGS "${_root}/share/applications/${APP_ID}.desktop" _chinese REGEX "^(Name|Comment)\\[zh_CN\\]=")
list(LENGTH _chinese _count)
if(NOT _count EQUAL 2)
    message(SEND_ERROR "the menu entry has no Chinese name and comment")
endif()
