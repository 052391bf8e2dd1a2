'''KDE Plasma 6.2 and later: powerdevil's org.kde.ScreenBrightness, written
from KDE/powerdevil (v6.2.0, v6.3.0, v6.6.0):
- daemon/dbus/org.kde.ScreenBrightness*.xml: displays as child objects with
  IsInternal, MaxBrightness and SetBrightnessWithContext.
- daemon/controllers/screenbrightnesscontroller.cpp: KWin's outputs are listed
  first; a value is kept within range; BrightnessChanged(display, value,
  source, context) goes to every listener when the value changes, naming the
  caller's unique bus name and its context.
- daemon/powerdevilscreenbrightnessagent.cpp: the D-Bus value is the
  controller's less its minimum: a backlight's MaxBrightness is max − 1 and a
  value v sets v + 1 (controllers/backlightbrightness.cpp,
  knownSafeMinBrightness 1); KWin's outputs have 0 to 10000
  (controllers/kwinbrightness.cpp), put on a backlight as round(1 + b·(max−1)).
- daemon/controllers/backlightbrightness.cpp and .h: a change of 100 raw
  steps or more is animated by the helper over 250 ms, and a value that comes
  meanwhile waits for the running job, which then goes on to the newest.
- the idle dim (actions/bundled/dimdisplay.cpp, setDimmingRatio): v6.2.0 sets
  qRound(0.3 × value) with no source, and the value before on the person's
  return; from v6.3.0 only the hardware is dimmed (value × 0.3), and nothing
  is announced either way.

Parameters: backlight (the panel's brightness file), max (the backlight's
max_brightness), brightness (its raw value at start), release ("6.2" or
"6.3", the idle dim's kind), kwin_panel (true: KWin drives the panel).
For the test: DimIdle(), Wake(), PressKey(i) (the brightness keys).'''

import os
import sys
import time

import dbus
from dbusmock import MOCK_IFACE, mockobject
from gi.repository import GLib

sys.path.insert(0, os.path.dirname(__file__))
import fakepanel  # noqa: E402

BUS_NAME = 'org.kde.ScreenBrightness'
MAIN_OBJ = '/org/kde/ScreenBrightness'
MAIN_IFACE = 'org.kde.ScreenBrightness'
SYSTEM_BUS = False
DISPLAY_IFACE = 'org.kde.ScreenBrightness.Display'
KWIN_SCALE = 10000
ANIMATION_MS = 250
ANIMATION_THRESHOLD = 100
FRAMES = 10


def root():
    return mockobject.objects[MAIN_OBJ]


def panel_raw(display, value):
    '''Where a D-Bus value of the panel lands on its backlight.'''
    maximum = root().maximum
    if display.kwin:
        return round(1 + value / KWIN_SCALE * (maximum - 1))
    return value + 1


class Helper:
    '''powerdevil's backlight helper: one job at a time, animated, the newest next.'''

    def __init__(self, parameters):
        self.parameters = parameters
        self.raw = int(parameters.get('brightness', int(parameters.get('max', 100)) // 2))
        self.running = False
        self.queued = None

    def set(self, raw, animate=True):
        if self.running:
            self.queued = raw
            return
        if not animate or abs(raw - self.raw) < ANIMATION_THRESHOLD:
            self.raw = raw
            fakepanel.write_raw(self.parameters, raw)
            return
        self.running = True
        start, frame = self.raw, [0]

        def tick():
            frame[0] += 1
            self.raw = round(start + (raw - start) * frame[0] / FRAMES)
            fakepanel.write_raw(self.parameters, self.raw)
            if frame[0] < FRAMES:
                return True
            self.running = False
            if self.queued is not None:
                queued, self.queued = self.queued, None
                self.set(queued)
            return False

        GLib.timeout_add(ANIMATION_MS // FRAMES, tick)


def apply(display):
    '''What the hardware gets: the value, under the dim's multiplier from 6.3 on.'''
    value = display.props[DISPLAY_IFACE]['Brightness']
    if not display.props[DISPLAY_IFACE]['IsInternal']:
        return
    shown = round(value * root().ratio)
    if display.kwin:
        root().helper.set(panel_raw(display, shown), animate=False)
    else:
        root().helper.set(panel_raw(display, shown))


def set_brightness(display, value, source, context):
    maximum = int(display.props[DISPLAY_IFACE]['MaxBrightness'])
    bounded = min(max(int(value), 0), maximum)
    if bounded != int(display.props[DISPLAY_IFACE]['Brightness']):
        display.props[DISPLAY_IFACE]['Brightness'] = dbus.Int32(bounded)
        root().EmitSignal(MAIN_IFACE, 'BrightnessChanged', 'siss',
                          [display.path.split('/')[-1], bounded, source, context])
    apply(display)


def add_display(mock, name, internal, maximum, brightness, kwin):
    path = MAIN_OBJ + '/' + name
    mock.AddObject(path, DISPLAY_IFACE, {
        'Label': dbus.String(name),
        'IsInternal': dbus.Boolean(internal),
        'MaxBrightness': dbus.Int32(maximum),
        'Brightness': dbus.Int32(brightness),
    }, [])
    display = mockobject.objects[path]
    display.kwin = kwin

    @dbus.service.method(DISPLAY_IFACE, in_signature='ius', out_signature='',
                         sender_keyword='sender')
    def SetBrightnessWithContext(self, value, flags, context, sender=None):
        self.call_log.append((int(time.time()), 'SetBrightnessWithContext',
                              [dbus.Int32(value), dbus.UInt32(flags), dbus.String(context)]))
        set_brightness(self, value, sender, context)

    display.methods.setdefault(DISPLAY_IFACE, {})['SetBrightnessWithContext'] = (
        'ius', '', '', SetBrightnessWithContext)
    return display


def panel():
    return mockobject.objects[MAIN_OBJ + '/' + root().panel_name]


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def DimIdle(self):
    display = panel()
    if self.release == '6.2':
        self.before_dim = int(display.props[DISPLAY_IFACE]['Brightness'])
        set_brightness(display, int(self.before_dim * 0.3 + 0.5), '', '')
    else:
        self.ratio = 0.3
        apply(display)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Wake(self):
    display = panel()
    if self.release == '6.2':
        set_brightness(display, self.before_dim, '', '')
    else:
        self.ratio = 1.0
        apply(display)


@dbus.service.method(MOCK_IFACE, in_signature='i', out_signature='')
def PressKey(self, delta):
    display = panel()
    set_brightness(display, int(display.props[DISPLAY_IFACE]['Brightness']) + int(delta),
                   '(internal)', 'brightness_key')


def load(mock, parameters):
    mock.parameters = parameters
    mock.maximum = int(parameters.get('max', 100))
    mock.release = str(parameters.get('release', '6.3'))
    mock.ratio = 1.0
    mock.before_dim = 0
    mock.helper = Helper(parameters)
    raw = mock.helper.raw
    kwin_panel = bool(parameters.get('kwin_panel', False))
    # KWin's outputs first: an external monitor, then the panel.
    add_display(mock, 'display0', False, KWIN_SCALE, KWIN_SCALE // 2, True)
    if kwin_panel:
        value = round((raw - 1) / (mock.maximum - 1) * KWIN_SCALE)
        add_display(mock, 'display1', True, KWIN_SCALE, value, True)
    else:
        add_display(mock, 'display1', True, mock.maximum - 1, max(raw - 1, 0), False)
    mock.panel_name = 'display1'
    mock.AddProperties(MAIN_IFACE, {
        'DisplaysDBusNames': dbus.Array(['display0', 'display1'], signature='s'),
    })
