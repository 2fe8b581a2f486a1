# corvana_embed_text(<target> <symbol> <file>): compiles <file> into <target> as
#   extern const std::string_view <symbol>;
# so data such as translations ships inside the binary and nothing is looked up at run time.
set(CORVANA_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedTextScript.cmake)

function(corvana_embed_text target symbol file)
    get_filename_component(file ${file} ABSOLUTE)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${output} -DSYMBOL=${symbol}
                -P ${CORVANA_EMBED_SCRIPT}
        DEPENDS ${file} ${CORVANA_EMBED_SCRIPT}
        COMMENT "Embedding ${file}"
        VERBATIM)
    target_sources(${target} PRIVATE ${output})
endfunction()
