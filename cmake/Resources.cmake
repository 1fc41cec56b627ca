# Builds the resource file compiled in under ":/images/": the images and the
# style sheet from resources/, and the toolkit's own Chinese translation taken
# from the system's Qt translations (Debian package qttranslations5-l10n).
get_target_property(_qmake Qt5::qmake IMPORTED_LOCATION)
execute_process(COMMAND ${_qmake} -query QT_INSTALL_TRANSLATIONS
                OUTPUT_VARIABLE _qt_translations OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(MAINT_QT_ZH_QM qt_zh_CN.qm
          PATHS ${_qt_translations} /usr/share/qt5/translations NO_DEFAULT_PATH)
if(NOT MAINT_QT_ZH_QM)
  message(FATAL_ERROR "qt_zh_CN.qm not found: install qttranslations5-l10n")
endif()

file(GLOB _maint_images CONFIGURE_DEPENDS
     ${MAINT_ROOT}/resources/images/*.png ${MAINT_ROOT}/resources/images/*.ico)
set(_entries "")
foreach(_img IN LISTS _maint_images)
  get_filename_component(_name ${_img} NAME)
  string(APPEND _entries "    <file alias=\"${_name}\">${_img}</file>\n")
endforeach()
if(EXISTS ${MAINT_ROOT}/resources/mavo.css)
  string(APPEND _entries "    <file alias=\"mavo.css\">${MAINT_ROOT}/resources/mavo.css</file>\n")
endif()
string(APPEND _entries "    <file alias=\"qt_zh_CN.qm\">${MAINT_QT_ZH_QM}</file>\n")
# qt_zh_CN.qm is a catalogue that loads its parts from beside itself.
get_filename_component(_qm_dir ${MAINT_QT_ZH_QM} DIRECTORY)
foreach(_part qtbase qtscript qtmultimedia qtxmlpatterns)
  if(EXISTS ${_qm_dir}/${_part}_zh_CN.qm)
    string(APPEND _entries "    <file alias=\"${_part}_zh_CN.qm\">${_qm_dir}/${_part}_zh_CN.qm</file>\n")
  endif()
endforeach()

set(MAINT_RESOURCE_QRC ${CMAKE_CURRENT_BINARY_DIR}/maint.qrc)
file(WRITE ${MAINT_RESOURCE_QRC}.in
     "<RCC>\n  <qresource prefix=\"/images\">\n${_entries}  </qresource>\n</RCC>\n")
configure_file(${MAINT_RESOURCE_QRC}.in ${MAINT_RESOURCE_QRC} COPYONLY)
