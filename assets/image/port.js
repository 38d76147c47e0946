// Handlers of the mapping form ("PortBean") of the Zelkora web interface.
//
// What the server relies on: every list entry is submitted as one "port.<list>=a|b|..." piece
// (all entries selected at submit time, the header option never), each pair of radio buttons
// with separate names acts as one choice, the destination IP field is left out in HTTP-proxy
// mode, and check() refuses what the desktop mapping dialog refuses, with the same messages.

var LISTS = ["port.route_datas", "port.round_robin_datas", "port.allow_ip_ranges",
             "port.block_ip_ranges"];
var DESTINATION_FIELDS = ["port.d_ip", "port.d_port", "port.d_port_end", "port.d_port_single",
                          "port.d_port_range"];

function field(name) {
    return document.forms["PortBean"].elements[name];
}

function show(element, visible) {
    if (element) element.style.display = visible ? "" : "none";
}

function refuse(message) {
    alert(message);
    return false;
}

function trimmed(name) {
    return field(name).value.replace(/^\s+|\s+$/g, "");
}

// Port fields take digits only, as the desktop dialog's port fields do.
function keep_digits(name) {
    var input = field(name);
    var digits = input.value.replace(/[^0-9]/g, "");
    if (digits !== input.value) input.value = digits;
}

function number(name) {
    var n = parseInt(field(name).value, 10);
    return isNaN(n) ? 0 : n;
}

// In proxy or smart-route mode the destination is fixed by the mode itself.
function destination_locked() {
    return field("port.runasproxy").checked || field("port.enable_smart").checked;
}

function set_destination_enabled(enabled) {
    for (var i = 0; i < DESTINATION_FIELDS.length; i++) {
        field(DESTINATION_FIELDS[i]).disabled = !enabled;
    }
}

function recompute_d_port_end() {
    var span = number("port.listen_port_end") - number("port.listen_port");
    if (span >= 0) field("port.d_port_end").value = String(number("port.d_port") + span);
}

function apply_port_layout() {
    var listen_range = field("port.listen_port_range").checked;
    var d_range = listen_range && field("port.d_port_range").checked;
    show(document.getElementById("listen_port_to"), listen_range);
    show(field("port.listen_port_end"), listen_range);
    show(document.getElementById("d_port_kind"), listen_range);
    show(document.getElementById("d_port_to"), d_range);
    show(field("port.d_port_end"), d_range);
}

function change_listen_port_value() {
    keep_digits("port.listen_port");
    if (!destination_locked()) field("port.d_port").value = field("port.listen_port").value;
    recompute_d_port_end();
}

function change_listen_port_end_value() {
    keep_digits("port.listen_port_end");
    recompute_d_port_end();
}

function change_d_port_value() {
    keep_digits("port.d_port");
    recompute_d_port_end();
}

function choose_listen_port_single() {
    field("port.listen_port_single").checked = true;
    field("port.listen_port_range").checked = false;
    // A single listen port always has a single destination port.
    field("port.d_port_single").checked = true;
    field("port.d_port_range").checked = false;
    apply_port_layout();
}

function choose_listen_port_range() {
    field("port.listen_port_single").checked = false;
    field("port.listen_port_range").checked = true;
    field("port.listen_port_end").value = field("port.listen_port").value;
    choose_d_port_range();
}

function choose_d_port_single() {
    field("port.d_port_single").checked = true;
    field("port.d_port_range").checked = false;
    apply_port_layout();
}

function choose_d_port_range() {
    field("port.d_port_single").checked = false;
    field("port.d_port_range").checked = true;
    apply_port_layout();
    recompute_d_port_end();
}

function runasproxyfunc() {
    var on = field("port.runasproxy").checked;
    field("port.type").value = on ? "0" : field("port.type").value;
    field("port.type").disabled = on;
    set_destination_enabled(!on);
    if (on) {
        field("port.d_ip").value = "http proxy";
        field("port.d_port").value = "0";
        field("port.d_port_end").value = "0";
    }
}

function choose_enable_smart() {
    var on = field("port.enable_smart").checked;
    if (on && field("port.runasproxy").checked) {
        field("port.runasproxy").checked = false;
        runasproxyfunc();
    }
    field("port.runasproxy").disabled = on;
    set_destination_enabled(!on);
    if (on) {
        field("port.d_ip").value = "enable smart route";
        field("port.d_port").value = "0";
        field("port.d_port_end").value = "0";
    }
}

function choose_route_incoming_ip() {
    field("port.route_incoming_ip").checked = true;
    field("port.round_robin").checked = false;
}

function choose_route_round_robin() {
    field("port.route_incoming_ip").checked = false;
    field("port.round_robin").checked = true;
}

// One entry field: not empty, and without the "|" that separates fields or white space, which
// would cut the last field short.
function entry_value(name, message) {
    var value = trimmed(name);
    if (value === "" || /[|\s]/.test(value)) {
        refuse(message);
        return null;
    }
    return value;
}

// An address range: an empty end takes the start, as in the desktop "Add IP Range" dialog.
function range_values(from_name, to_name) {
    var from = entry_value(from_name, "invalid from ip address, please reenter again!");
    if (from === null) return null;
    var to = trimmed(to_name);
    if (to === "") to = from;
    if (/[|\s]/.test(to)) {
        refuse("invalid to ip address, please reenter again!");
        return null;
    }
    return [from, to];
}

function add_entry(list_name, values, input_names) {
    var text = values.join("|");
    var option = new Option(text, text);
    field(list_name).options.add(option);
    for (var i = 0; i < input_names.length; i++) field(input_names[i]).value = "";
}

function delete_selected(list_name) {
    var options = field(list_name).options;
    // From the end, so removing one does not move the ones still to be looked at.
    for (var i = options.length - 1; i >= 1; i--) {
        if (options[i].selected) options.remove(i);
    }
    options[0].selected = false;
}

function add_incoming_ip() {
    var range = range_values("port.route_incoming_ip_from", "port.route_incoming_ip_to");
    if (range === null) return;
    var d_ip = entry_value("port.route_incoming_ip_d_ip",
                           "invalid destination ip address, please reenter again!");
    if (d_ip === null) return;
    keep_digits("port.route_incoming_ip_d_port");
    var d_port = entry_value("port.route_incoming_ip_d_port",
                             "invalid destination port, please reenter again!");
    if (d_port === null) return;
    add_entry("port.route_datas", [range[0], range[1], d_ip, d_port],
              ["port.route_incoming_ip_from", "port.route_incoming_ip_to",
               "port.route_incoming_ip_d_ip", "port.route_incoming_ip_d_port"]);
}

function delete_incoming_ip() {
    delete_selected("port.route_datas");
}

function add_round_robin() {
    var d_ip = entry_value("port.round_robin_d_ip",
                           "invalid destination ip address, please reenter again!");
    if (d_ip === null) return;
    keep_digits("port.round_robin_d_port");
    var d_port = entry_value("port.round_robin_d_port",
                             "invalid destination port, please reenter again!");
    if (d_port === null) return;
    add_entry("port.round_robin_datas", [d_ip, d_port],
              ["port.round_robin_d_ip", "port.round_robin_d_port"]);
}

function delete_round_robin() {
    delete_selected("port.round_robin_datas");
}

function add_allow_ip_range() {
    var range = range_values("port.allow_ip_from", "port.allow_ip_to");
    if (range !== null) {
        add_entry("port.allow_ip_ranges", range, ["port.allow_ip_from", "port.allow_ip_to"]);
    }
}

function delete_allow_ip_range() {
    delete_selected("port.allow_ip_ranges");
}

function add_block_ip_range() {
    var range = range_values("port.block_ip_from", "port.block_ip_to");
    if (range !== null) {
        add_entry("port.block_ip_ranges", range, ["port.block_ip_from", "port.block_ip_to"]);
    }
}

function delete_block_ip_range() {
    delete_selected("port.block_ip_ranges");
}

// Every entry selected, every header option not: the lists submit exactly their entries.
function select_entries() {
    for (var i = 0; i < LISTS.length; i++) {
        var options = field(LISTS[i]).options;
        for (var j = 0; j < options.length; j++) options[j].selected = j > 0;
    }
}

// The mapping dialog's checks, in its order and with its messages. On success the form is made
// ready to submit: the fields a mode only greyed out go along again (the type, the destination
// ports and their kind), except the destination IP in proxy mode, which must stay out.
function check() {
    if (field("port.name").value === "") return refuse("invalid name, please reenter again!");
    if (field("port.listen_port").value === "") {
        return refuse("invalid listen port, please reenter again!");
    }
    if (field("port.d_ip").value === "") {
        return refuse("invalid destination ip address, please reenter again!");
    }
    if (field("port.d_port").value === "") {
        return refuse("invalid destination port, please reenter again!");
    }
    if (field("port.listen_port_range").checked) {
        if (field("port.listen_port_end").value === "") {
            return refuse("invalid end range of listen port, please reenter again!");
        }
        if (number("port.listen_port_end") - number("port.listen_port") <= 0) {
            return refuse("the end range of listen port must larger than the start range of " +
                          "listen port, please reenter again!");
        }
    }
    var proxy = field("port.runasproxy").checked;
    set_destination_enabled(true);
    field("port.d_ip").disabled = proxy;
    field("port.type").disabled = false;
    select_entries();
    return true;
}

// The page loads this script after the form: lay the form out for the values it shows.
(function () {
    if (!document.forms["PortBean"]) return;
    apply_port_layout();
    if (field("port.enable_smart").checked) {
        choose_enable_smart();
    } else if (field("port.runasproxy").checked) {
        runasproxyfunc();
    }
})();
