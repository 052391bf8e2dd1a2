'''gnome-session's org.gnome.SessionManager, as far as gnome-settings-daemon's
plug-ins use it, written from GNOME/gnome-session 43.0
gnome-session/org.gnome.SessionManager.xml (RegisterClient, Inhibit,
Uninhibit, IsInhibited, GetInhibitors; SessionIsActive and InhibitedActions)
and org.gnome.SessionManager.Presence.xml (status, 0 = available), with the
registered client's org.gnome.SessionManager.ClientPrivate
(EndSessionResponse). It stands in for gnome-session, which
gnome-settings-daemon's own test suite runs in a dummy session
(tests/gsdtestcase.py, 43.0).'''

import dbus

BUS_NAME = 'org.gnome.SessionManager'
MAIN_OBJ = '/org/gnome/SessionManager'
MAIN_IFACE = 'org.gnome.SessionManager'
SYSTEM_BUS = False
CLIENT = '/org/gnome/SessionManager/Client1'


def load(mock, parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('RegisterClient', 'ss', 'o', f'ret = dbus.ObjectPath("{CLIENT}")'),
        ('Inhibit', 'susu', 'u', 'ret = dbus.UInt32(1)'),
        ('Uninhibit', 'u', '', ''),
        ('IsInhibited', 'u', 'b', 'ret = False'),
        ('GetInhibitors', '', 'ao', 'ret = dbus.Array([], signature="o")'),
    ])
    mock.AddProperties(MAIN_IFACE, {
        'SessionIsActive': dbus.Boolean(True),
        'InhibitedActions': dbus.UInt32(0),
    })
    mock.AddObject(MAIN_OBJ + '/Presence', 'org.gnome.SessionManager.Presence',
                   {'status': dbus.UInt32(0)}, [('SetStatus', 'u', '', '')])
    mock.AddObject(CLIENT, 'org.gnome.SessionManager.ClientPrivate', {},
                   [('EndSessionResponse', 'bs', '', '')])
