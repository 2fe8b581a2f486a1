# The desktop entry and the AppStream metadata pass their validators (installed by scripts/test;
# without them the check fails rather than vanish).
foreach(tool DESKTOP_FILE_VALIDATE APPSTREAMCLI)
    if(NOT ${tool})
        message(FATAL_ERROR "${tool} not found (desktop-file-utils, appstream)")
    endif()
endforeach()
execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${DESKTOP_FILE} RESULT_VARIABLE result
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR out)
    message(FATAL_ERROR "desktop-file-validate ${DESKTOP_FILE}:\n${out}")
endif()
execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --explain ${METAINFO_FILE}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate ${METAINFO_FILE}:\n${out}")
endif()
