# Every option that `corvana --help`, `corvana serve --help` and `corvana ctl --help` name appears
# in the manual page, and every command too; the page itself has no troff errors when man is
# installed.
file(READ ${MAN_PAGE} page)
# troff writes a hyphen in an option as "\-".
string(REPLACE "\\-" "-" page "${page}")
set(missing)
foreach(arguments "--help" "serve;--help" "ctl;--help")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LANGUAGE=en LC_ALL=C.UTF-8 ${CORVANA} ${arguments}
                    RESULT_VARIABLE result OUTPUT_VARIABLE help)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "corvana ${arguments} failed with ${result}")
    endif()
    string(REGEX MATCHALL "(^|[ \n,])--?[a-z][a-z-]*" options "${help}")
    string(REGEX MATCHALL "\n  [a-z]+  " commands "${help}")
    list(APPEND options ${commands})
    foreach(option IN LISTS options)
        string(STRIP "${option}" option)
        string(REGEX REPLACE "^," "" option "${option}")
        string(FIND "${page}" "${option}" at)
        if(at EQUAL -1)
            list(APPEND missing "${option}")
        endif()
    endforeach()
endforeach()
if(missing)
    list(REMOVE_DUPLICATES missing)
    message(FATAL_ERROR "not in the manual page: ${missing}")
endif()

find_program(MAN man)
if(MAN)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 LC_ALL=C.UTF-8
                    ${MAN} --warnings -E UTF-8 -l ${MAN_PAGE}
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE warnings)
    if(NOT result EQUAL 0 OR warnings)
        message(FATAL_ERROR "man reports on the page:\n${warnings}")
    endif()
endif()
