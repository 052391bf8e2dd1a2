'''GNOME: mutter's org.gnome.Mutter.IdleMonitor, from its interface file
(GNOME/mutter data/dbus-interfaces/org.gnome.Mutter.IdleMonitor.xml) and
src/backends/meta-idle-monitor-dbus.c: the core monitor at
/org/gnome/Mutter/IdleMonitor/Core answers GetIdletime with the time since
the last input, in milliseconds (t).

Parameters: idletime (milliseconds, 0 at start). SetIdletime (for the test)
changes it.'''

import dbus
from dbusmock import MOCK_IFACE

BUS_NAME = 'org.gnome.Mutter.IdleMonitor'
MAIN_OBJ = '/org/gnome/Mutter/IdleMonitor/Core'
MAIN_IFACE = 'org.gnome.Mutter.IdleMonitor'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.idletime = int(parameters.get('idletime', 0))
    mock.AddMethod(MAIN_IFACE, 'GetIdletime', '', 't', 'ret = dbus.UInt64(self.idletime)')


@dbus.service.method(MOCK_IFACE, in_signature='t', out_signature='')
def SetIdletime(self, milliseconds):
    self.idletime = int(milliseconds)
