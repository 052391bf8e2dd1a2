'''KDE Plasma 5.27 to 6.1: powerdevil's brightness action, written from
KDE/powerdevil at v5.27.11:
- daemon/actions/bundled/org.kde.Solid.PowerManagement.Actions.BrightnessControl.xml:
  values in the backlight's own units, 0 to brightnessMax.
- daemon/actions/bundled/brightnesscontrol.cpp: every change of the screen's
  backlight is announced with brightnessChanged(value) and, with it,
  brightnessMaxChanged(max) (onBrightnessChangedFromBackend).
- daemon/backends/upower/powerdevilupowerbackend.cpp (setBrightness): each
  value is one KAuth helper job; when it returns, the value is announced at
  once, while the helper (linuxbacklighthelper.cpp) animates the backlight to
  it over 250 ms (PowerDevilSettings.kcfg, brightnessAnimationDuration) from
  wherever it is, where brightnessMax is 100 or more; uevents are ignored
  while that runs, and a change seen after it is announced (onDeviceChanged).
- daemon/actions/bundled/dimdisplay.cpp: the idle dim sets
  qRound(0.3 × brightness), the person's return the brightness before.

Parameters: backlight (the panel's brightness file), max (brightnessMax).
For the test: DimIdle() and Wake() as the idle dim; Jobs(), the helper jobs run.'''

import os
import sys

import dbus
from dbusmock import MOCK_IFACE
from gi.repository import GLib

sys.path.insert(0, os.path.dirname(__file__))
import fakepanel  # noqa: E402

BUS_NAME = 'org.kde.Solid.PowerManagement'
MAIN_OBJ = '/org/kde/Solid/PowerManagement/Actions/BrightnessControl'
MAIN_IFACE = 'org.kde.Solid.PowerManagement.Actions.BrightnessControl'
SYSTEM_BUS = False
ANIMATION_MS = 250
ANIMATION_THRESHOLD = 100
FRAMES = 10


def animate(self, target):
    '''The helper: the backlight goes from where it is to `target`.'''
    if self.animation:
        GLib.source_remove(self.animation)
        self.animation = None
    start = self.raw
    if self.maximum < ANIMATION_THRESHOLD:
        self.raw = target
        fakepanel.write_raw(self.parameters, target)
        return
    frame = [0]

    def tick():
        frame[0] += 1
        # QEasingCurve::OutQuad going up, InQuad going down.
        t = frame[0] / FRAMES
        eased = 1 - (1 - t) * (1 - t) if target > start else t * t
        self.raw = round(start + (target - start) * eased)
        fakepanel.write_raw(self.parameters, self.raw)
        if frame[0] < FRAMES:
            return True
        self.animation = None
        return False

    self.animation = GLib.timeout_add(ANIMATION_MS // FRAMES, tick)


def set_brightness(self, value):
    self.jobs += 1
    self.brightness = min(max(int(value), 0), self.maximum)
    # The job's result: announced at once, while the helper animates.
    self.EmitSignal(MAIN_IFACE, 'brightnessChanged', 'i', [self.brightness])
    self.EmitSignal(MAIN_IFACE, 'brightnessMaxChanged', 'i', [self.maximum])
    animate(self, self.brightness)


@dbus.service.method(MAIN_IFACE, in_signature='i', out_signature='')
def setBrightnessSilent(self, value):
    set_brightness(self, value)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='i')
def brightnessMax(self):
    return self.maximum


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='i')
def brightness(self):
    return self.brightness


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def DimIdle(self):
    self.before_dim = self.brightness
    set_brightness(self, int(self.brightness * 0.3 + 0.5))


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Wake(self):
    set_brightness(self, self.before_dim)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='i')
def Jobs(self):
    return self.jobs


def load(mock, parameters):
    mock.parameters = parameters
    mock.maximum = int(parameters.get('max', 100))
    mock.brightness = mock.maximum // 2
    mock.raw = mock.brightness
    mock.animation = None
    mock.before_dim = mock.brightness
    mock.jobs = 0
