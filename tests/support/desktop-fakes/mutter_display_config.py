'''GNOME 47 and later: mutter's org.gnome.Mutter.DisplayConfig backlight, from
its interface file (GNOME/mutter data/dbus-interfaces/
org.gnome.Mutter.DisplayConfig.xml) and its handler
(src/backends/meta-monitor-manager.c, meta_monitor_manager_handle_set_backlight):
Backlight holds a serial and one entry per monitor (min, max and value only
where this interface can set it); SetBacklight refuses another serial and a
value outside min..max with org.freedesktop.DBus.Error.InvalidArgs. Changing
the monitors (ChangeMonitors, for the test) moves the serial on; with
announce false the announcement has not arrived yet when the next write does.

Parameters: backlight (the panel's brightness file), max (its maximum),
connector (the panel's connector, "eDP-1").'''

import os
import sys

import dbus
from dbusmock import MOCK_IFACE

sys.path.insert(0, os.path.dirname(__file__))
import fakepanel  # noqa: E402

BUS_NAME = 'org.gnome.Mutter.DisplayConfig'
MAIN_OBJ = '/org/gnome/Mutter/DisplayConfig'
MAIN_IFACE = 'org.gnome.Mutter.DisplayConfig'
SYSTEM_BUS = False
INVALID_ARGS = 'org.freedesktop.DBus.Error.InvalidArgs'


def backlight(self):
    panel = dbus.Dictionary({
        'connector': dbus.String(self.connector),
        'active': dbus.Boolean(True),
        'min': dbus.Int32(self.minimum),
        'max': dbus.Int32(self.maximum),
        'value': dbus.Int32(self.value),
    }, signature='sv')
    monitor = dbus.Dictionary({'connector': dbus.String('HDMI-A-1'),
                               'active': dbus.Boolean(True)}, signature='sv')
    return dbus.Struct((dbus.UInt32(self.serial), dbus.Array([panel, monitor], signature='a{sv}')),
                       signature='uaa{sv}')


def publish(self, announce=True):
    self.props[MAIN_IFACE]['Backlight'] = backlight(self)
    if announce:
        self.EmitSignal('org.freedesktop.DBus.Properties', 'PropertiesChanged', 'sa{sv}as',
                        [MAIN_IFACE, dbus.Dictionary({'Backlight': backlight(self)}, signature='sv'),
                         dbus.Array([], signature='s')])


@dbus.service.method(MAIN_IFACE, in_signature='usi', out_signature='')
def SetBacklight(self, serial, connector, value):
    if int(serial) != self.serial:
        raise dbus.exceptions.DBusException('Invalid backlight serial', name=INVALID_ARGS)
    if connector != self.connector:
        raise dbus.exceptions.DBusException('Unknown monitor', name=INVALID_ARGS)
    if not self.minimum <= int(value) <= self.maximum:
        raise dbus.exceptions.DBusException('Invalid backlight value', name=INVALID_ARGS)
    self.value = int(value)
    fakepanel.write_raw(self.parameters, self.value)
    publish(self)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def ChangeMonitors(self, announce):
    self.serial += 1
    publish(self, announce)


def load(mock, parameters):
    mock.parameters = parameters
    mock.connector = parameters.get('connector', 'eDP-1')
    mock.maximum = int(parameters.get('max', 100))
    mock.minimum = max(1, mock.maximum // 100)
    mock.value = mock.maximum // 2
    mock.serial = 1
    mock.AddProperties(MAIN_IFACE, {'Backlight': backlight(mock)})
