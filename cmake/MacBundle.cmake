# The macOS module: the bundle Linestra.plugin, built only on a macOS
# machine (included from the top CMakeLists.txt when APPLE).
#
#   Contents/Info.plist                 package type 'eFKT', signature 'FXTC',
#                                       executable, identifier, version
#   Contents/PkgInfo                    the eight bytes "eFKTFXTC"
#   Contents/MacOS/Linestra             universal binary (x86_64 and arm64) that
#                                       exports EffectMain, PluginDataEntryFunction
#                                       and ChangeParam (host/exports.mac)
#   Contents/Resources/Linestra.rsrc    the property list in its macOS form as
#                                       resource 'PIPL' 16000 in a data-fork
#                                       resource file (made by linestra-pipl
#                                       --rsrc, tools/CMakeLists.txt)
#
# After linking, the bundle is signed ad hoc (codesign --sign -): recent host
# versions refuse to load unsigned bundles. Sign it with a real identity for
# distribution.
# Both architectures: the effect's objects and the module that links them.
set_target_properties(linestra_objs PROPERTIES OSX_ARCHITECTURES "x86_64;arm64")
set_target_properties(Linestra PROPERTIES
  BUNDLE TRUE
  BUNDLE_EXTENSION plugin
  OSX_ARCHITECTURES "x86_64;arm64"
  MACOSX_BUNDLE_INFO_PLIST ${CMAKE_CURRENT_LIST_DIR}/MacBundleInfo.plist.in
  MACOSX_BUNDLE_BUNDLE_NAME Linestra
  MACOSX_BUNDLE_GUI_IDENTIFIER com.cobblewood.linestra
  MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION}
  MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION})

target_link_options(Linestra PRIVATE "LINKER:-exported_symbols_list,${PROJECT_SOURCE_DIR}/host/exports.mac")
set_property(TARGET Linestra APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/host/exports.mac)

# The property list's resource file goes into Contents/Resources.
set_source_files_properties(${LINESTRA_MAC_RSRC_FILE} PROPERTIES GENERATED TRUE MACOSX_PACKAGE_LOCATION Resources)
target_sources(Linestra PRIVATE ${LINESTRA_MAC_RSRC_FILE})
add_dependencies(Linestra linestra_mac_resource)

# PkgInfo: package type and signature, no line end.
file(WRITE ${CMAKE_BINARY_DIR}/generated/PkgInfo "eFKTFXTC")
find_program(LINESTRA_CODESIGN codesign REQUIRED)
add_custom_command(TARGET Linestra POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/generated/PkgInfo $<TARGET_BUNDLE_CONTENT_DIR:Linestra>/PkgInfo
  COMMAND ${LINESTRA_CODESIGN} --force --sign - $<TARGET_BUNDLE_DIR:Linestra>
  COMMENT "Adding PkgInfo to Linestra.plugin and signing it ad hoc"
  VERBATIM)
