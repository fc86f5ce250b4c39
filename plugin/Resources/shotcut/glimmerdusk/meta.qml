// Glimmerdusk in Shotcut's list of filters: the frei0r plug-in it runs, its panel, its rectangle on
// the player, and the parameters that take keyframes (the four edges as one gang, the region).
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    objectName: 'glimmerdusk'
    name: qsTr('Glimmerdusk')
    keywords: qsTr('region rectangle lighten darken brightness contrast gain offset', 'search keywords for the Glimmerdusk video filter') + ' glimmerdusk'
    mlt_service: 'frei0r.glimmerdusk'
    qml: 'ui.qml'
    vui: 'vui.qml'

    keyframes {
        allowAnimateIn: true
        allowAnimateOut: true
        simpleProperties: ['Left', 'Top', 'Right', 'Bottom', 'Gain', 'Offset']
        parameters: [
            Parameter {
                name: qsTr('Region')
                property: 'Left'
                gangedProperties: ['Top', 'Right', 'Bottom']
            },
            Parameter {
                name: qsTr('Gain')
                property: 'Gain'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Offset')
                property: 'Offset'
                isCurve: true
                minimum: 0
                maximum: 1
            }
        ]
    }
}
