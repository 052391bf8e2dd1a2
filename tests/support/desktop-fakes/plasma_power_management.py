'''KDE Plasma 5.27 to 6.1: powerdevil's brightness action, from its
interface file (KDE/powerdevil daemon/actions/bundled/
org.kde.Solid.PowerManagement.Actions.BrightnessControl.xml): values in the
backlight's own units, 0 to brightnessMax.

Parameters: backlight (the panel's brightness file), max (brightnessMax).'''

import os
import sys

import dbus

sys.path.insert(0, os.path.dirname(__file__))
import fakepanel  # noqa: E402

BUS_NAME = 'org.kde.Solid.PowerManagement'
MAIN_OBJ = '/org/kde/Solid/PowerManagement/Actions/BrightnessControl'
MAIN_IFACE = 'org.kde.Solid.PowerManagement.Actions.BrightnessControl'
SYSTEM_BUS = False


@dbus.service.method(MAIN_IFACE, in_signature='i', out_signature='')
def setBrightnessSilent(self, value):
    self.brightness = min(max(int(value), 0), self.maximum)
    fakepanel.write_raw(self.parameters, self.brightness)
    self.EmitSignal(MAIN_IFACE, 'brightnessChanged', 'i', [self.brightness])


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='i')
def brightnessMax(self):
    return self.maximum


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='i')
def brightness(self):
    return self.brightness


def load(mock, parameters):
    mock.parameters = parameters
    mock.maximum = int(parameters.get('max', 100))
    mock.brightness = mock.maximum // 2
