file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f
    bin/quillbook
    bin/quillbook-tool
    libexec/quillbook/quillbook-tool-text
    share/applications/net.quillbook.Quillbook.desktop
    share/metainfo/net.quillbook.Quillbook.metainfo.xml
    share/icons/hicolor/scalable/apps/net.quillbook.Quillbook.svg
    share/icons/hicolor/48x48/apps/net.quillbook.Quillbook.png
    share/icons/hicolor/256x256/apps/net.quillbook.Quillbook.png
    share/man/man1/quillbook-tool.1
    share/doc/quillbook/copyright)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
# The installed tool finds its installed companion for the commands that read rich text.
file(WRITE ${PREFIX}/sample.rtf "{\\rtf1\\ansi hello\\par world}")
execute_process(COMMAND ${PREFIX}/bin/quillbook-tool rtf-text ${PREFIX}/sample.rtf
                RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE errors)
if(NOT rc EQUAL 0 OR NOT text STREQUAL "hello\nworld\n")
  message(FATAL_ERROR "installed quillbook-tool rtf-text: status ${rc}, output '${text}', errors '${errors}'")
endif()
file(REMOVE_RECURSE ${PREFIX})
