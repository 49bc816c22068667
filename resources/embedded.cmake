# The embedded configuration and the two translation tables, converted to the
# code pages they are stored in and packed into one resource object.
set(gen ${CMAKE_BINARY_DIR}/generated)
set(embedded_res ${gen}/embedded.res)
set(embedded_obj ${gen}/embedded_res.obj)
add_custom_command(
  OUTPUT ${embedded_obj}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/convert_text.py ${RENEWKIT_CONFIG_INI} ${gen}/config.ini.gbk gbk
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/convert_text.py
          ${CMAKE_SOURCE_DIR}/resources/lang/chinese_simplified.lan ${gen}/chinese_simplified.lan.gbk gbk
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/convert_text.py
          ${CMAKE_SOURCE_DIR}/resources/lang/chinese_traditional.lan ${gen}/chinese_traditional.lan.big5 big5
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_res.py ${embedded_res}
          10:179:${gen}/config.ini.gbk
          LANGUAGE:154:${gen}/chinese_simplified.lan.gbk
          LANGUAGE:153:${gen}/chinese_traditional.lan.big5
  COMMAND ${CMAKE_RC_COMPILER} -J res -O coff -i ${embedded_res} -o ${embedded_obj}
  DEPENDS ${RENEWKIT_CONFIG_INI}
          ${CMAKE_SOURCE_DIR}/resources/lang/chinese_simplified.lan
          ${CMAKE_SOURCE_DIR}/resources/lang/chinese_traditional.lan
          ${CMAKE_SOURCE_DIR}/tools/convert_text.py ${CMAKE_SOURCE_DIR}/tools/make_res.py
  COMMENT "Packing the embedded configuration and translation tables"
  VERBATIM)
set_source_files_properties(${embedded_obj} PROPERTIES GENERATED TRUE EXTERNAL_OBJECT TRUE)
set(RK_EMBEDDED_OBJECT ${embedded_obj})
