'''GNOME 49.3 and later: the shell's org.gnome.Shell.Brightness, from its
interface file (GNOME/gnome-shell data/dbus-interfaces/
org.gnome.Shell.Brightness.xml) and what js/misc/brightnessManager.js does
with a target: none while it is negative; otherwise the panel shows
clamp(target + slider - 0.5, 0, 1), the person's slider being a bias.
Moving the slider (MoveSlider, for the test) sends BrightnessChanged.

Parameters: backlight (the panel's brightness file), max (its maximum),
slider (the person's slider, 0 to 1), control (HasBrightnessControl).'''

import os
import sys

import dbus
from dbusmock import MOCK_IFACE

sys.path.insert(0, os.path.dirname(__file__))
import fakepanel  # noqa: E402

BUS_NAME = 'org.gnome.Shell.Brightness'
MAIN_OBJ = '/org/gnome/Shell/Brightness'
MAIN_IFACE = 'org.gnome.Shell.Brightness'
SYSTEM_BUS = False


def show(self):
    if self.target < 0:
        panel = self.slider
    else:
        panel = min(max(self.target + self.slider - 0.5, 0.0), 1.0)
    fakepanel.write_fraction(self.parameters, panel)


@dbus.service.method(MAIN_IFACE, in_signature='d', out_signature='')
def SetAutoBrightnessTarget(self, target):
    self.target = float(target)
    show(self)


@dbus.service.method(MAIN_IFACE, in_signature='b', out_signature='')
def SetDimming(self, enable):
    pass


@dbus.service.method(MOCK_IFACE, in_signature='d', out_signature='')
def MoveSlider(self, value):
    self.slider = min(max(float(value), 0.0), 1.0)
    show(self)
    self.EmitSignal(MAIN_IFACE, 'BrightnessChanged', '', [])


def load(mock, parameters):
    mock.parameters = parameters
    mock.target = -1.0
    mock.slider = float(parameters.get('slider', 0.5))
    mock.AddProperties(MAIN_IFACE, {
        'HasBrightnessControl': dbus.Boolean(parameters.get('control', True)),
    })
