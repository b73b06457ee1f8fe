# Turns text files into a C++ source that holds each as a string constant.
# Usage: cmake -DOUTPUT=file.cpp -DNAMESPACE=ns -DINPUTS="name=path;name=path" -P EmbedText.cmake
set(body "// Generated from the files named below; edit those, not this.\n#include <string_view>\n\nnamespace ${NAMESPACE} {\n")
foreach(entry IN LISTS INPUTS)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 path)
  file(READ "${path}" content)
  string(APPEND body "\n// ${path}\nextern const std::string_view ${name};\nconst std::string_view ${name} = R\"embedded(${content})embedded\";\n")
endforeach()
string(APPEND body "\n}  // namespace ${NAMESPACE}\n")
file(WRITE "${OUTPUT}.new" "${body}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
