'''GNOME: mutter's org.gnome.Mutter.DisplayConfig backlight and, in the same
process as in gnome-shell, the shell's brightness manager. Written from:
- GNOME/mutter 49.0, data/dbus-interfaces/org.gnome.Mutter.DisplayConfig.xml and
  src/backends/meta-monitor-manager.c (meta_monitor_manager_handle_set_backlight,
  update_backlight): Backlight holds a serial and one entry per monitor (min,
  max and value only where this interface can set it); SetBacklight refuses
  another serial and a value outside min..max with
  org.freedesktop.DBus.Error.InvalidArgs; Backlight is published again only
  after a D-Bus set and when the monitors change (ChangeMonitors, for the
  test; with announce false the announcement has not arrived yet when the
  next write does). src/backends/meta-backlight-sysfs.c: min = MAX (1, max/100).
- GNOME/gnome-shell 49.0 to 50.4, js/misc/brightnessManager.js: the shell
  follows a backlight that changed (syncWithBacklight: relative = (b − min) /
  (max − min)) and writes it back as min + (max − min)·relative into the
  backlight's integer property, which truncates; a person's slider or keys
  (MoveSlider, for the test) set the backlight the same way, announced by
  BrightnessChanged on org.gnome.Shell.Brightness from 49.3 (commit 961c213a)
  only. data/dbus-interfaces/org.gnome.Shell.Brightness.xml: SetAutoBrightnessTarget(d)
  and HasBrightnessControl; 49.0 and 49.1 lock the slider while a target is
  set, later ones take the slider as a bias on it.

Parameters: backlight (the panel's brightness file), max (its maximum),
connector (the panel's connector, "eDP-1"), shell (its release, "49.0",
"49.2" or "49.3"; none: mutter alone, as under X11 before 49).'''

import os
import sys

import dbus
from dbusmock import MOCK_IFACE, mockobject

sys.path.insert(0, os.path.dirname(__file__))
import fakepanel  # noqa: E402

BUS_NAME = 'org.gnome.Mutter.DisplayConfig'
MAIN_OBJ = '/org/gnome/Mutter/DisplayConfig'
MAIN_IFACE = 'org.gnome.Mutter.DisplayConfig'
SYSTEM_BUS = False
INVALID_ARGS = 'org.freedesktop.DBus.Error.InvalidArgs'
SHELL_NAME = 'org.gnome.Shell.Brightness'
SHELL_OBJ = '/org/gnome/Shell/Brightness'


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


def set_panel(self, value):
    '''meta_backlight_set_brightness: the panel's raw value.'''
    self.value = int(value)
    fakepanel.write_raw(self.parameters, self.value)


def shell_follows(self):
    '''The shell's syncWithBacklight and setBacklight, round trip truncated.'''
    if not self.shell:
        return
    span = self.maximum - self.minimum
    relative = (self.value - self.minimum) / span
    set_panel(self, int(self.minimum + span * relative))


@dbus.service.method(MAIN_IFACE, in_signature='usi', out_signature='')
def SetBacklight(self, serial, connector, value):
    if int(serial) != self.serial:
        raise dbus.exceptions.DBusException('Invalid backlight serial', name=INVALID_ARGS)
    if connector != self.connector:
        raise dbus.exceptions.DBusException('Unknown monitor', name=INVALID_ARGS)
    if not self.minimum <= int(value) <= self.maximum:
        raise dbus.exceptions.DBusException('Invalid backlight value', name=INVALID_ARGS)
    set_panel(self, value)
    publish(self)
    shell_follows(self)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def ChangeMonitors(self, announce):
    self.serial += 1
    publish(self, announce)


@dbus.service.method(MOCK_IFACE, in_signature='d', out_signature='')
def MoveSlider(self, relative):
    '''The person's slider or keys, through the shell: not in Backlight.'''
    set_panel(self, int(self.minimum + (self.maximum - self.minimum) * relative))
    if self.shell and self.shell >= (49, 3):
        mockobject.objects[SHELL_OBJ].EmitSignal(SHELL_NAME, 'BrightnessChanged', '', [])


def add_shell(mock):
    mock.shell_name = dbus.service.BusName(SHELL_NAME, dbus.SessionBus(),
                                           allow_replacement=True, replace_existing=True)
    mock.AddObject(SHELL_OBJ, SHELL_NAME, {'HasBrightnessControl': dbus.Boolean(True)},
                   [('SetAutoBrightnessTarget', 'd', '', ''), ('SetDimming', 'b', '', '')])


def load(mock, parameters):
    mock.parameters = parameters
    mock.connector = parameters.get('connector', 'eDP-1')
    mock.maximum = int(parameters.get('max', 100))
    mock.minimum = max(1, mock.maximum // 100)
    mock.value = mock.maximum // 2
    mock.serial = 1
    release = str(parameters.get('shell', ''))
    mock.shell = tuple(int(n) for n in release.split('.')) if release else None
    mock.AddProperties(MAIN_IFACE, {'Backlight': backlight(mock)})
    if mock.shell:
        add_shell(mock)
