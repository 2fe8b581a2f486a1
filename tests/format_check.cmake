# Fails when a C++ file of the repository differs from what the repository's .clang-format makes.
if(NOT CLANG_FORMAT)
    message(FATAL_ERROR "clang-format not found: install the clang-format package")
endif()
file(GLOB_RECURSE sources ${ROOT}/Localization/*.[ch]* ${ROOT}/ModbusCore/*.[ch]* ${ROOT}/ModbusSerial/*.[ch]*
     ${ROOT}/ServerCore/*.[ch]* ${ROOT}/Corvana/*.[ch]* ${ROOT}/tests/*.[ch]* ${ROOT}/bench/*.[ch]*
     ${ROOT}/fuzz/*.[ch]* ${ROOT}/tools/*.[ch]*)
list(FILTER sources INCLUDE REGEX "\\.(cpp|h)$")
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${sources} RESULT_VARIABLE result
                ERROR_VARIABLE diagnostics)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "clang-format would change these files (run clang-format -i):\n${diagnostics}")
endif()
