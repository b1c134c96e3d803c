# The resource file OrvaRes.rcc (every text and picture of the user
# interface) and the idle / video-loss pictures ComMark.bmp and VdoLoss.bmp,
# all built next to the programs.
set(ORVA_RES_SRC ${CMAKE_CURRENT_SOURCE_DIR}/resources)
set(ORVA_RES_GEN ${CMAKE_CURRENT_BINARY_DIR}/resources)
set(ORVA_RES_BIN ${CMAKE_BINARY_DIR}/bin)
set(ORVA_RES_ICON ${CMAKE_SOURCE_DIR}/packaging/orva7000.svg)
file(MAKE_DIRECTORY ${ORVA_RES_GEN})

# Generator: renders the BMP pictures from SVG and writes the notice texts
# from the link layer's table (one source for both).
add_executable(orva_resgen ${ORVA_RES_SRC}/resgen.cpp)
target_include_directories(orva_resgen PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_link_libraries(orva_resgen PRIVATE orva_link Qt6::Gui Qt6::Svg)
set_target_properties(orva_resgen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVA_RES_GEN})
orva_target_defaults(orva_resgen)

add_custom_command(
  OUTPUT ${ORVA_RES_BIN}/ComMark.bmp ${ORVA_RES_BIN}/VdoLoss.bmp ${ORVA_RES_GEN}/notices.json
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:orva_resgen> --pictures ${ORVA_RES_SRC}/pictures ${ORVA_RES_BIN}
          --notices ${ORVA_RES_GEN}/notices.json
  DEPENDS orva_resgen ${ORVA_RES_SRC}/pictures/commark.svg ${ORVA_RES_SRC}/pictures/vdoloss.svg
  COMMENT "Rendering ComMark.bmp, VdoLoss.bmp and the notice texts"
  VERBATIM)

file(GLOB ORVA_RES_SKIN CONFIGURE_DEPENDS ${ORVA_RES_SRC}/skin/*.svg)
set(ORVA_RES_SKIN_FILES "")
foreach(svg IN LISTS ORVA_RES_SKIN)
  get_filename_component(svgName ${svg} NAME)
  string(APPEND ORVA_RES_SKIN_FILES "<file alias=\"skin/${svgName}\">${svg}</file>\n")
endforeach()
configure_file(${ORVA_RES_SRC}/OrvaRes.qrc.in ${ORVA_RES_GEN}/OrvaRes.qrc @ONLY)

qt_add_binary_resources(orva_resources ${ORVA_RES_GEN}/OrvaRes.qrc DESTINATION ${ORVA_RES_BIN}/OrvaRes.rcc)
# Whatever links the services also gets the resource file and the pictures.
add_dependencies(orva_services orva_resources)
