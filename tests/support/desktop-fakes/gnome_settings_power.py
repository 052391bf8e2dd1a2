'''GNOME 46 to 48: gnome-settings-daemon's org.gnome.SettingsDaemon.Power.Screen,
from its introspection (GNOME/gnome-settings-daemon
plugins/power/gsd-power-manager.c): Brightness in percent, set through
org.freedesktop.DBus.Properties.Set and spread over the backlight's min..max
(plugins/power/gpm-common.c, min = MAX (1, max / 100) in gsd-backlight.c);
-1 while the built-in display is off (SwitchPanel, for the test).

Parameters: backlight (the panel's brightness file), max (its maximum).'''

import os
import sys

import dbus
from dbusmock import MOCK_IFACE, mockobject

sys.path.insert(0, os.path.dirname(__file__))
import fakepanel  # noqa: E402

BUS_NAME = 'org.gnome.SettingsDaemon.Power'
MAIN_OBJ = '/org/gnome/SettingsDaemon/Power'
MAIN_IFACE = 'org.gnome.SettingsDaemon.Power.Screen'
SYSTEM_BUS = False

# The mock's own Set, kept out of the module's names (every D-Bus method
# among them would become one of the mock's).
ORIGINAL = {'Set': mockobject.DBusMockObject.Set}


@dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ssv', out_signature='')
def Set(self, interface, name, value):
    if interface == MAIN_IFACE and name == 'Brightness':
        percent = int(value)
        if not 0 <= percent <= 100:
            raise dbus.exceptions.DBusException('Invalid brightness', name='org.freedesktop.DBus.Error.Failed')
        maximum = int(self.parameters.get('max', 100))
        minimum = max(1, maximum // 100)
        fakepanel.write_raw(self.parameters, minimum + round((maximum - minimum) * percent / 100))
        value = dbus.Int32(percent)
    ORIGINAL['Set'](self, interface, name, value)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SwitchPanel(self, on):
    self.UpdateProperties(MAIN_IFACE, {'Brightness': dbus.Int32(50 if on else -1)})


def load(mock, parameters):
    mock.parameters = parameters
    mock.AddProperties(MAIN_IFACE, {'Brightness': dbus.Int32(50)})
