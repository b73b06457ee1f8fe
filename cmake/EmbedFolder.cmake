# embed_folder(OUTPUT NAMESPACE TABLE FOLDER PATTERN COMMENT): compiles the files of FOLDER
# matching PATTERN (relative to it) into OUTPUT, a C++ table NAMESPACE::TABLE of their paths
# inside FOLDER and their texts, rebuilt whenever one of them changes.
function(embed_folder output namespace table folder pattern comment)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${folder}/${pattern})
  set(inputs "")
  foreach(file IN LISTS files)
    file(RELATIVE_PATH name ${folder} ${file})
    list(APPEND inputs "${name}=${file}")
  endforeach()
  string(REPLACE ";" "\\;" inputs "${inputs}")
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DNAMESPACE=${namespace} -DTABLE=${table} "-DINPUTS=${inputs}"
      -P ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
    COMMENT "${comment}")
endfunction()
