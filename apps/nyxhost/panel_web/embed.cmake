# Writes the panel page's files into one C++ source (cmake -P, at build time):
# -DDIR=folder of the files -DOUT=the source to write.
file(GLOB files RELATIVE "${DIR}" "${DIR}/*.html" "${DIR}/*.js" "${DIR}/*.css")
list(SORT files)
set(arrays "")
set(table "")
set(index 0)
foreach(name IN LISTS files)
  file(READ "${DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  else()
    set(type "text/css; charset=utf-8")
  endif()
  string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}0};\n")
  string(APPEND table "    {\"/${name}\", \"${type}\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUT}.tmp" "// Generated from apps/nyxhost/panel_web by embed.cmake; do not edit.
#include <string>

#include \"nyxhost/panel_server.h\"

namespace {
${arrays}
const PanelAsset kAssets[] = {
${table}};
}  // namespace

const PanelAsset* FindPanelAsset(const std::string& path) {
  for (const PanelAsset& asset : kAssets) {
    if (path == asset.path) return &asset;
  }
  return nullptr;
}
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
