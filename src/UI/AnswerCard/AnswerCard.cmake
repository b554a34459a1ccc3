# The answer card's views, in their own resource folder (they find each other by file name); the
# C++ types they bind to are registered under "Sonorvelle.AnswerCard" at run time.
file(GLOB SONORVELLE_ANSWER_CARD_QML CONFIGURE_DEPENDS
     RELATIVE ${CMAKE_SOURCE_DIR}/src/UI/AnswerCard/qml
     ${CMAKE_SOURCE_DIR}/src/UI/AnswerCard/qml/*.qml ${CMAKE_SOURCE_DIR}/src/UI/AnswerCard/qml/*.svg)
set(SONORVELLE_ANSWER_CARD_QML_FILES)
foreach(file ${SONORVELLE_ANSWER_CARD_QML})
    set_source_files_properties(${CMAKE_SOURCE_DIR}/src/UI/AnswerCard/qml/${file}
                                PROPERTIES QT_RESOURCE_ALIAS ${file})
    list(APPEND SONORVELLE_ANSWER_CARD_QML_FILES ${CMAKE_SOURCE_DIR}/src/UI/AnswerCard/qml/${file})
endforeach()
qt_add_resources(sonorvelle_core sonorvelle_answer_card_qml PREFIX /sonorvelle/answercard
                 FILES ${SONORVELLE_ANSWER_CARD_QML_FILES})
