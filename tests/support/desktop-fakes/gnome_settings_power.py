'''GNOME 43 to 48: gnome-settings-daemon's org.gnome.SettingsDaemon.Power.Screen,
written from GNOME/gnome-settings-daemon at 43.0 (the same in 48.0):
- plugins/power/gsd-power-manager.c: the introspection (Brightness, i,
  readwrite; StepUp and StepDown answering (i new_percentage, s connector));
  Get and Set answer "No session" while the plug-in starts (handle_get_property);
  every change of the backlight is announced with PropertiesChanged of
  Brightness, as the percentage of the raw value now set
  (backlight_notify_brightness_cb).
- plugins/power/gpm-common.c: a percentage p lands as min + (p·(max−min) + 50)
  div 100, a raw value v reads back as ((v−min)·100 + (max−min)/2) div (max−min).
- plugins/power/gsd-backlight.c: min = MAX (1, max·0.01), 0 for a raw
  backlight of fewer than 99 steps; a step of the keys is
  BRIGHTNESS_STEP_AMOUNT (max − min + 1) raw steps (gpm-common.h: max/20, or 1
  under 20); -1 while the panel is switched off.

Parameters: backlight (the panel's brightness file), max (its maximum), type
(its type, "raw" unless given), ready (false: "No session" until BecomeReady).
For the test: SwitchPanel(b), BecomeReady(), and StepUp/StepDown as the keys.'''

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
FAILED = 'org.freedesktop.DBus.Error.Failed'

# The mock's own Get and Set, kept out of the module's names (every D-Bus
# method among them would become one of the mock's).
ORIGINAL = {'Get': mockobject.DBusMockObject.Get, 'Set': mockobject.DBusMockObject.Set}


def percent_of(self, raw):
    span = self.maximum - self.minimum
    return ((raw - self.minimum) * 100 + span // 2) // span


def raw_of(self, percent):
    return self.minimum + (percent * (self.maximum - self.minimum) + 50) // 100


def set_raw(self, raw):
    self.raw = min(max(raw, self.minimum), self.maximum)
    fakepanel.write_raw(self.parameters, self.raw)
    announce(self, percent_of(self, self.raw))


def announce(self, value):
    self.props[MAIN_IFACE]['Brightness'] = dbus.Int32(value)
    self.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                    [MAIN_IFACE, dbus.Dictionary({'Brightness': dbus.Int32(value)}, signature='sv'),
                     dbus.Array([], signature='s')])


def check_ready(self):
    if not self.ready:
        raise dbus.exceptions.DBusException('No session', name=FAILED)


@dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
def Get(self, interface, name):
    if interface == MAIN_IFACE:
        check_ready(self)
    return ORIGINAL['Get'](self, interface, name)


@dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ssv', out_signature='')
def Set(self, interface, name, value):
    if interface != MAIN_IFACE or name != 'Brightness':
        ORIGINAL['Set'](self, interface, name, value)
        return
    check_ready(self)
    self.log(f'Set {self.path} {interface}.{name} {int(value)}')
    percent = int(value)
    if not 0 <= percent <= 100:
        raise dbus.exceptions.DBusException('Invalid brightness', name=FAILED)
    set_raw(self, raw_of(self, percent))


def step(self, direction):
    check_ready(self)
    span = self.maximum - self.minimum + 1
    amount = 1 if span < 20 else span // 20
    set_raw(self, self.raw + direction * amount)
    return (dbus.Int32(percent_of(self, self.raw)), dbus.String('eDP-1'))


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='is')
def StepUp(self):
    return step(self, 1)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='is')
def StepDown(self):
    return step(self, -1)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SwitchPanel(self, on):
    announce(self, percent_of(self, self.raw) if on else -1)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def BecomeReady(self):
    self.ready = True


def load(mock, parameters):
    mock.parameters = parameters
    mock.maximum = int(parameters.get('max', 100))
    mock.minimum = max(1, int(mock.maximum * 0.01))
    if mock.maximum < 99 and parameters.get('type', 'raw') == 'raw':
        mock.minimum = 0
    mock.raw = mock.maximum // 2
    mock.ready = bool(parameters.get('ready', True))
    mock.AddProperties(MAIN_IFACE, {'Brightness': dbus.Int32(percent_of(mock, mock.raw))})
