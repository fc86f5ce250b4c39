// Glimmerdusk's panel in Shotcut: the region's edges in per cent of the frame, gain and offset on
// the configuration window's 0 to 100 scale (50 leaves the picture as it is), each with
// keyframes; the four edges take their keyframes together. It never sets `threads`: MLT would
// then hand the plug-in horizontal bands as frames and the region would land in every band.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut
import 'region.js' as Region

Shotcut.KeyframableFilter {
    property var edgeSliders: [leftSlider, topSlider, rightSlider, bottomSlider]
    property double gainDefault: 0.5
    property double offsetDefault: 0.5

    function regionFromSliders() {
        var values = [];
        for (var i = 0; i < edgeSliders.length; i++)
            values.push(edgeSliders[i].value / 100);
        return values;
    }

    function setControls() {
        var position = getPosition();
        var region = Region.at(filter, position);
        blockUpdate = true;
        for (var i = 0; i < edgeSliders.length; i++)
            edgeSliders[i].value = region[i] * 100;
        gainSlider.value = filter.getDouble('Gain', position) * 100;
        offsetSlider.value = filter.getDouble('Offset', position) * 100;
        regionKeyframesButton.checked = Region.hasKeyframes(filter);
        gainKeyframesButton.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('Gain') > 0;
        offsetKeyframesButton.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('Offset') > 0;
        blockUpdate = false;
        enableControls(isSimpleKeyframesActive());
    }

    function enableControls(enabled) {
        leftSlider.enabled = topSlider.enabled = rightSlider.enabled = bottomSlider.enabled = gainSlider.enabled = offsetSlider.enabled = enabled;
    }

    function updateRegion(position) {
        if (blockUpdate)
            return ;

        Region.write(filter, regionFromSliders(), position);
    }

    function updateSimpleKeyframes() {
        setControls();
        updateRegion(null);
        updateFilter('Gain', gainSlider.value / 100, gainKeyframesButton, null);
        updateFilter('Offset', offsetSlider.value / 100, offsetKeyframesButton, null);
    }

    keyframableParameters: Region.edges.concat(['Gain', 'Offset'])
    startValues: Region.defaults.concat([gainDefault, offsetDefault])
    middleValues: Region.defaults.concat([gainDefault, offsetDefault])
    endValues: Region.defaults.concat([gainDefault, offsetDefault])
    width: 350
    height: 250
    Component.onCompleted: {
        if (filter.isNew) {
            Region.setAll(filter, Region.defaults);
            filter.set('Gain', gainDefault);
            filter.set('Offset', offsetDefault);
            filter.savePreset(preset.parameters);
        }
        Region.remember(filter);
        setControls();
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 4

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Preset {
            id: preset

            parameters: keyframableParameters
            Layout.columnSpan: 3
            onBeforePresetLoaded: resetSimpleKeyframes()
            onPresetSelected: {
                initializeSimpleKeyframes();
                Region.remember(filter);
                setControls();
            }
        }

        Label {
            text: qsTr('Left')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: leftSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 0.1
            decimals: 2
            suffix: ' %'
            onValueChanged: updateRegion(getPosition())
        }

        Shotcut.UndoButton {
            onClicked: leftSlider.value = Region.defaults[0] * 100
        }

        // One button for the four edges: the region keyframes as one gang.
        Shotcut.KeyframesButton {
            id: regionKeyframesButton

            Layout.rowSpan: 4
            onToggled: {
                var region = regionFromSliders();
                for (var i = 0; i < Region.edges.length; i++)
                    toggleKeyframes(checked, Region.edges[i], region[i]);
                Region.remember(filter);
                setControls();
            }
        }

        Label {
            text: qsTr('Top')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: topSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 0.1
            decimals: 2
            suffix: ' %'
            onValueChanged: updateRegion(getPosition())
        }

        Shotcut.UndoButton {
            onClicked: topSlider.value = Region.defaults[1] * 100
        }

        Label {
            text: qsTr('Right')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: rightSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 0.1
            decimals: 2
            suffix: ' %'
            onValueChanged: updateRegion(getPosition())
        }

        Shotcut.UndoButton {
            onClicked: rightSlider.value = Region.defaults[2] * 100
        }

        Label {
            text: qsTr('Bottom')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: bottomSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 0.1
            decimals: 2
            suffix: ' %'
            onValueChanged: updateRegion(getPosition())
        }

        Shotcut.UndoButton {
            onClicked: bottomSlider.value = Region.defaults[3] * 100
        }

        Label {
            text: qsTr('Gain')
            Layout.alignment: Qt.AlignRight
        }

        // The configuration window's steps: the plug-in takes gain and offset to the nearest one.
        Shotcut.SliderSpinner {
            id: gainSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 1
            onValueChanged: updateFilter('Gain', gainSlider.value / 100, gainKeyframesButton, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: gainSlider.value = gainDefault * 100
        }

        Shotcut.KeyframesButton {
            id: gainKeyframesButton

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'Gain', gainSlider.value / 100);
            }
        }

        Label {
            text: qsTr('Offset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.SliderSpinner {
            id: offsetSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 1
            onValueChanged: updateFilter('Offset', offsetSlider.value / 100, offsetKeyframesButton, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: offsetSlider.value = offsetDefault * 100
        }

        Shotcut.KeyframesButton {
            id: offsetKeyframesButton

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'Offset', offsetSlider.value / 100);
            }
        }

        Item {
            Layout.fillHeight: true
        }
    }

    Connections {
        function onChanged() {
            setControls();
        }

        function onInChanged() {
            updateSimpleKeyframes();
        }

        function onOutChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateInChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateOutChanged() {
            updateSimpleKeyframes();
        }

        function onPropertyChanged(name) {
            setControls();
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setControls();
        }

        target: producer
    }

    // A keyframe added to the region's row of the keyframes panel: the other three edges get one
    // at the same place.
    Connections {
        function onKeyframeAdded(parameter, position) {
            if (parameter === Region.edges[0])
                Region.addKeyframe(filter, position);
        }

        target: parameters
    }
}
