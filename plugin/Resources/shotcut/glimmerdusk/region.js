// The region's four edges as one gang, shared by the panel and the rectangle on the player: every
// change writes all four in whichever keyframe mode the filter is in, so their keyframes stay
// together.
.pragma library

var edges = ['Left', 'Top', 'Right', 'Bottom'];
var defaults = [0, 0, 1, 1];

// The values of the simple keyframes (animate in and out) at the start, in the middle and at
// the end, kept beside the filter while it is open; the underscore keeps them out of the project.
var startValues = '_glimmerdusk:regionStart';
var middleValues = '_glimmerdusk:regionMiddle';
var endValues = '_glimmerdusk:regionEnd';

function at(filter, position) {
    var values = [];
    for (var i = 0; i < edges.length; i++)
        values.push(filter.getDouble(edges[i], position));
    return values;
}

function stored(filter, name) {
    var text = filter.get(name);
    if (!text)
        return defaults.slice();
    return text.split(' ').map(Number);
}

function store(filter, name, values) {
    filter.set(name, values.join(' '));
}

function setAll(filter, values, position) {
    for (var i = 0; i < edges.length; i++) {
        if (position === undefined)
            filter.set(edges[i], values[i]);
        else
            filter.set(edges[i], values[i], position);
    }
}

function resetAll(filter) {
    for (var i = 0; i < edges.length; i++)
        filter.resetProperty(edges[i]);
}

// Reads the simple keyframes' values back from the filter, as a panel does when it opens.
function remember(filter) {
    filter.blockSignals = true;
    store(filter, middleValues, at(filter, filter.animateIn));
    store(filter, startValues, at(filter, 0));
    store(filter, endValues, at(filter, filter.duration - 1));
    filter.blockSignals = false;
}

// Whether the region has keyframes of its own (rather than none, or the simple ones).
function hasKeyframes(filter) {
    return filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount(edges[0]) > 0;
}

// Sets the region to `values` (fractions of the frame: left, top, right, bottom) at `position`
// of the filter; with `position` null it only lays the simple keyframes out again, after the
// filter's length or its animate in or out changed.
function write(filter, values, position) {
    if (position !== null) {
        filter.blockSignals = true;
        if (position <= 0 && filter.animateIn > 0)
            store(filter, startValues, values);
        else if (position >= filter.duration - 1 && filter.animateOut > 0)
            store(filter, endValues, values);
        else
            store(filter, middleValues, values);
        filter.blockSignals = false;
    }
    if (filter.animateIn > 0 || filter.animateOut > 0) {
        resetAll(filter);
        var middle = stored(filter, middleValues);
        if (filter.animateIn > 0) {
            setAll(filter, stored(filter, startValues), 0);
            setAll(filter, middle, filter.animateIn - 1);
        }
        if (filter.animateOut > 0) {
            setAll(filter, middle, filter.duration - filter.animateOut);
            setAll(filter, stored(filter, endValues), filter.duration - 1);
        }
    } else if (filter.keyframeCount(edges[0]) > 0) {
        if (position !== null)
            setAll(filter, values, position);
    } else {
        resetAll(filter);
        setAll(filter, stored(filter, middleValues));
    }
}

// A keyframe added to the region in the keyframes panel: all four edges get one there, with the
// values they have at that moment.
function addKeyframe(filter, position) {
    setAll(filter, at(filter, position), position);
}

// MLT saves a project's values with six significant digits. An edge at pixel `pixel` of `span`
// is kept a twentieth of a pixel inside that pixel, so that the saved value still truncates to it.
function fraction(pixel, span) {
    return (Math.round(pixel) + 0.05) / span;
}
