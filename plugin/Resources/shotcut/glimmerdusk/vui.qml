// Glimmerdusk's region on Shotcut's player: a rectangle whose corner handles resize the region and
// whose centre handle moves it, written as one gang of four edges at the player's position.
import QtQuick 2.1
import Shotcut.Controls 1.0 as Shotcut
import 'region.js' as Region

Shotcut.VuiBase {
    property real zoom: (video.zoom > 0) ? video.zoom : 1
    property bool blockUpdate: false

    function getPosition() {
        return Math.max(producer.position - (filter.in - producer.in), 0);
    }

    // The region at `position` in the profile's pixels, as the rectangle control takes it.
    function regionRect(position) {
        var r = Region.at(filter, position);
        return Qt.rect(r[0] * profile.width, r[1] * profile.height, (r[2] - r[0]) * profile.width, (r[3] - r[1]) * profile.height);
    }

    function setRectangleControl() {
        if (blockUpdate)
            return ;

        var position = getPosition();
        rectangle.setHandles(regionRect(position));
        rectangle.enabled = position <= 0 || (position >= (filter.animateIn - 1) && position <= (filter.duration - filter.animateOut)) || position >= (filter.duration - 1);
    }

    function setFilter(position) {
        blockUpdate = true;
        var r = rectangle.rectangle;
        var left = r.x / rectangle.widthScale;
        var top = r.y / rectangle.heightScale;
        var right = left + r.width / rectangle.widthScale;
        var bottom = top + r.height / rectangle.heightScale;
        Region.write(filter, [Region.fraction(left, profile.width), Region.fraction(top, profile.height), Region.fraction(right, profile.width), Region.fraction(bottom, profile.height)], position);
        blockUpdate = false;
    }

    Component.onCompleted: {
        application.showStatusMessage(qsTr('Drag a corner of the rectangle to resize the region, its centre to move it'));
        Region.remember(filter);
        setRectangleControl();
    }

    Flickable {
        anchors.fill: parent
        interactive: false
        clip: true
        contentWidth: video.rect.width * zoom
        contentHeight: video.rect.height * zoom
        contentX: video.offset.x
        contentY: video.offset.y

        Item {
            id: videoItem

            x: video.rect.x
            y: video.rect.y
            width: video.rect.width
            height: video.rect.height
            scale: zoom

            Shotcut.RectangleControl {
                id: rectangle

                widthScale: video.rect.width / profile.width
                heightScale: video.rect.height / profile.height
                handleSize: Math.max(Math.round(8 / zoom), 4)
                borderSize: Math.max(Math.round(1.33 / zoom), 1)
                onWidthScaleChanged: setHandles(regionRect(getPosition()))
                onHeightScaleChanged: setHandles(regionRect(getPosition()))
                onRectChanged: setFilter(getPosition())
            }
        }
    }

    Connections {
        function onChanged() {
            setRectangleControl();
            videoItem.enabled = filter.get('disable') !== '1';
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setRectangleControl();
        }

        target: producer
    }
}
