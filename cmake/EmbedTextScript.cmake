# Run with -DINPUT= -DOUTPUT= -DSYMBOL=; writes a C++ file holding INPUT as a raw string literal.
file(READ ${INPUT} content)
string(FIND "${content}" ")corvana_embed\"" clash)
if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
file(WRITE ${OUTPUT}.tmp "#include <string_view>\nextern const std::string_view ${SYMBOL};\nconst std::string_view ${SYMBOL} = R\"corvana_embed(${content})corvana_embed\";\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
