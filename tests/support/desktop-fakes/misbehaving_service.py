'''One of the desktops' brightness services answering in a wrong type or
shape, for the table of what the routes survive. The bus name and main
object come from MISBEHAVING_NAME and MISBEHAVING_PATH (a template names its
service before it gets its parameters); the parameter "shape" picks what is
wrong.'''

import os

import dbus
from dbusmock import mockobject

BUS_NAME = os.environ.get('MISBEHAVING_NAME', 'org.example.Misbehaving')
MAIN_OBJ = os.environ.get('MISBEHAVING_PATH', '/org/example/Misbehaving')
MAIN_IFACE = 'org.example.Misbehaving'
SYSTEM_BUS = False

PLASMA = 'org.kde.ScreenBrightness'
PLASMA_DISPLAY = 'org.kde.ScreenBrightness.Display'
LEGACY = 'org.kde.Solid.PowerManagement.Actions.BrightnessControl'
MUTTER = 'org.gnome.Mutter.DisplayConfig'
GSD = 'org.gnome.SettingsDaemon.Power.Screen'


def plasma(mock, names, display=None):
    mock.AddProperties(PLASMA, {'DisplaysDBusNames': names})
    if display is not None:
        mock.AddObject(MAIN_OBJ + '/display0', PLASMA_DISPLAY, display,
                       [('SetBrightnessWithContext', 'ius', '', '')])


def display(internal=True, maximum=dbus.Int32(1000)):
    return {'IsInternal': dbus.Boolean(internal), 'MaxBrightness': maximum,
            'Brightness': dbus.Int32(500)}


def mutter(mock, entries, signature='uaa{sv}'):
    mock.AddMethod(MUTTER, 'SetBacklight', 'usi', '', '')
    mock.AddProperties(MUTTER, {'Backlight': dbus.Struct((dbus.UInt32(1), entries),
                                                         signature=signature)})


def legacy(mock, answer):
    mock.AddMethod(LEGACY, 'setBrightnessSilent', 'i', '', '')
    mock.AddMethod(LEGACY, 'brightnessMax', '', answer[0], 'ret = ' + answer[1])


SHAPES = {
    'plasma-max-a-string':
        lambda m: plasma(m, dbus.Array(['display0'], signature='s'),
                         display(maximum=dbus.String('1000'))),
    'plasma-negative-max':
        lambda m: plasma(m, dbus.Array(['display0'], signature='s'),
                         display(maximum=dbus.Int32(-1000))),
    'plasma-no-internal-display':
        lambda m: plasma(m, dbus.Array(['display0'], signature='s'), display(internal=False)),
    'plasma-display-gone':
        lambda m: plasma(m, dbus.Array(['display0'], signature='s')),
    'plasma-names-not-strings':
        lambda m: plasma(m, dbus.Array([dbus.Int32(0)], signature='i')),
    'legacy-negative-max': lambda m: legacy(m, ('i', '-5')),
    'legacy-max-a-string': lambda m: legacy(m, ('s', '"1000"')),
    'mutter-wrong-shape':
        lambda m: mutter(m, dbus.Array(['eDP-1'], signature='s'), signature='uas'),
    'mutter-no-range':
        lambda m: mutter(m, dbus.Array([dbus.Dictionary({'connector': 'eDP-1'}, signature='sv')],
                                       signature='a{sv}')),
    'mutter-range-upside-down':
        lambda m: mutter(m, dbus.Array([dbus.Dictionary(
            {'connector': 'eDP-1', 'min': dbus.Int32(900), 'max': dbus.Int32(10),
             'value': dbus.Int32(500)}, signature='sv')], signature='a{sv}')),
    'mutter-range-strings':
        lambda m: mutter(m, dbus.Array([dbus.Dictionary(
            {'connector': 'eDP-1', 'min': '1', 'max': '1000', 'value': '500'}, signature='sv')],
            signature='a{sv}')),
    'gsd-brightness-a-string':
        lambda m: m.AddProperties(GSD, {'Brightness': dbus.String('50')}),
}


def load(mock, parameters):
    SHAPES[parameters['shape']](mock)
