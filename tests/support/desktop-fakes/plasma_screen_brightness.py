'''KDE Plasma 6.2 and later: powerdevil's org.kde.ScreenBrightness, from its
interface files (KDE/powerdevil daemon/dbus/org.kde.ScreenBrightness*.xml):
two displays, an external one first, then the laptop's panel (IsInternal),
each a child object with MaxBrightness and SetBrightnessWithContext. A value
is kept within 0..MaxBrightness; BrightnessChanged goes out only when the
value changes, naming the caller's unique bus name and its context.

Parameters: backlight (the panel's brightness file), max (the panel's
MaxBrightness, also the file's maximum), brightness (its value at start).'''

import os
import sys
import time

import dbus
from dbusmock import mockobject

sys.path.insert(0, os.path.dirname(__file__))
import fakepanel  # noqa: E402

BUS_NAME = 'org.kde.ScreenBrightness'
MAIN_OBJ = '/org/kde/ScreenBrightness'
MAIN_IFACE = 'org.kde.ScreenBrightness'
SYSTEM_BUS = False
DISPLAY_IFACE = 'org.kde.ScreenBrightness.Display'


def set_brightness_with_context(display, value, flags, context, sender):
    root = mockobject.objects[MAIN_OBJ]
    display.call_log.append((int(time.time()), 'SetBrightnessWithContext',
                             [dbus.Int32(value), dbus.UInt32(flags), dbus.String(context)]))
    maximum = int(display.props[DISPLAY_IFACE]['MaxBrightness'])
    bounded = min(max(int(value), 0), maximum)
    if bounded == int(display.props[DISPLAY_IFACE]['Brightness']):
        return
    display.props[DISPLAY_IFACE]['Brightness'] = dbus.Int32(bounded)
    if display.props[DISPLAY_IFACE]['IsInternal']:
        fakepanel.write_raw(root.parameters, bounded)
    root.EmitSignal(MAIN_IFACE, 'BrightnessChanged', 'siss',
                    [display.path.split('/')[-1], bounded, sender, context])


def add_display(mock, name, internal, maximum, brightness):
    path = MAIN_OBJ + '/' + name
    mock.AddObject(path, DISPLAY_IFACE, {
        'Label': dbus.String(name),
        'IsInternal': dbus.Boolean(internal),
        'MaxBrightness': dbus.Int32(maximum),
        'Brightness': dbus.Int32(brightness),
    }, [])
    display = mockobject.objects[path]

    @dbus.service.method(DISPLAY_IFACE, in_signature='ius', out_signature='', sender_keyword='sender')
    def SetBrightnessWithContext(self, value, flags, context, sender=None):
        set_brightness_with_context(self, value, flags, context, sender)

    display.methods.setdefault(DISPLAY_IFACE, {})['SetBrightnessWithContext'] = (
        'ius', '', '', SetBrightnessWithContext)


def load(mock, parameters):
    mock.parameters = parameters
    maximum = int(parameters.get('max', 100))
    mock.AddProperties(MAIN_IFACE, {
        'DisplaysDBusNames': dbus.Array(['display0', 'display1'], signature='s'),
    })
    add_display(mock, 'display0', False, 100, 50)
    add_display(mock, 'display1', True, maximum, int(parameters.get('brightness', maximum // 2)))
