'''NetworkManager stand-in for Aerlume's tests: python3-dbusmock's
networkmanager template, extended with what the template lacks.

Run on a private bus (DBUS_SYSTEM_BUS_ADDRESS pointing at it):

    python3 -m dbusmock --template tests/nm/nm_stand_in.py

Everything is driven through the mock interface (org.freedesktop.DBus.Mock)
of /org/freedesktop:

- AddWifi(name, iface, state, perm_hw) -> device path: a Wi-Fi device with
  its own permanent address, LastScan, ActiveAccessPoint and Autoconnect (the
  properties NetworkManager 1.42 publishes that the template leaves out); its
  RequestScan sets a new LastScan shortly after the call, or fails with the
  error set by RefuseScans.
- RefuseScans(device, error_name): '' accepts scans again.
- SetLastScan(device, msec): a background scan finishing.
- SetDeviceState(device, state, reason): State, StateReason, the
  StateChanged signal and PropertiesChanged.
- SetActive(device, ap_path, connection_path): the device up on that access
  point through an active connection of that settings connection.
- AddConnection(name, settings) -> settings path: a saved connection with
  exactly the given settings. As in NetworkManager, GetSettings leaves the
  secrets out, GetSecrets(setting) returns them, and Update replaces every
  setting: secrets the update does not carry are lost.
- SetStrength(ap_path, strength).
- SetIp4(device, address, dns, dhcp_server): IP4Config (AddressData,
  NameserverData, Gateway) and, with a DHCP server, DHCP4Config (Options).
- ActivateConnection / AddAndActivateConnection walk the device through
  prepare, config, (need-auth), ip-config, activated, 30 ms apart; with
  SetActivationOutcome(device, reason) they fail at need-auth with that
  reason, and without an access point of the SSID with reason 53 (SSID not
  found). RefuseActivations(error_name) makes them, a connection's Update
  and the settings' AddConnection fail ('' clears).
- The device's Disconnect goes through deactivating to disconnected (reason 39).
- DropDevice(device): the device goes away (DeviceRemoved).

The template's own methods (AddAccessPoint, RemoveAccessPoint, ...) stay
available. Signals go out as org.freedesktop.DBus.Properties.PropertiesChanged,
as NetworkManager 1.x sends them.
'''

import time

import dbus
import dbusmock
from dbusmock import MOCK_IFACE
from dbusmock.templates import networkmanager as nm
from dbusmock.templates.networkmanager import *  # noqa: F401,F403 (the template's mock methods)
from gi.repository import GLib

BUS_NAME = nm.BUS_NAME
MAIN_OBJ = nm.MAIN_OBJ
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

PROPS_IFACE = 'org.freedesktop.DBus.Properties'
DEVICE_IFACE = nm.DEVICE_IFACE
WIRELESS_IFACE = nm.WIRELESS_DEVICE_IFACE
AP_IFACE = nm.ACCESS_POINT_IFACE


def load(mock, parameters):
    nm.load(mock, parameters)
    manager = dbusmock.get_object(nm.MANAGER_OBJ)
    manager.Set(nm.MANAGER_IFACE, 'Version', parameters.get('Version', '1.42.4'))
    # Activation walks through the device states as NetworkManager does.
    manager.activate_connection = _activate
    manager.add_and_activate_connection = _add_and_activate
    manager.refusal = ''
    manager.mock = mock
    settings_obj = dbusmock.get_object(nm.SETTINGS_OBJ)
    settings_obj.add_connection = _settings_add
    settings_obj.AddMethod(nm.SETTINGS_IFACE, 'AddConnection', 'a{sa{sv}}', 'o', 'ret = self.add_connection(self, args[0])')


def _steps(device, steps):
    '''Runs (state, reason, action) one after another, 30 ms apart.'''
    def run(index):
        state, reason, action = steps[index]
        try:
            if action:
                action()
            SetDeviceState(None, device, state, reason)
        except KeyError:  # the device went away meanwhile
            return False
        if index + 1 < len(steps):
            GLib.timeout_add(30, run, index + 1)
        return False
    GLib.timeout_add(30, run, 0)


def _clear_active(device):
    _set(device, WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath('/'))
    _set(device, DEVICE_IFACE, 'ActiveConnection', dbus.ObjectPath('/'))


def _activate(manager, conn, device, ap):
    if manager.refusal:
        raise dbus.exceptions.DBusException('not allowed', name=manager.refusal)
    conn_obj = dbusmock.get_object(conn)
    settings = conn_obj.settings
    ssid = bytes(settings.get('802-11-wireless', {}).get('ssid', b''))
    dev = dbusmock.get_object(device)
    if str(ap) == '/':
        ap = next((a for a in dev.access_points
                   if bytes(dbusmock.get_object(a).Get(AP_IFACE, 'Ssid')) == ssid), '/')
    secured = '802-11-wireless-security' in settings
    outcome = getattr(dev, 'outcome', 0)
    count = len(dbusmock.get_object(nm.MANAGER_OBJ).Get(nm.MANAGER_IFACE, 'ActiveConnections'))
    active = '/org/freedesktop/NetworkManager/ActiveConnection/a%d' % count
    manager.mock.AddObject(active, nm.ACTIVE_CONNECTION_IFACE,
                           {'Id': settings['connection']['id'], 'Connection': dbus.ObjectPath(conn),
                            'SpecificObject': dbus.ObjectPath(ap), 'State': dbus.UInt32(1),
                            'Devices': dbus.Array([dbus.ObjectPath(device)], signature='o')}, [])

    def bind():
        _set(device, DEVICE_IFACE, 'ActiveConnection', dbus.ObjectPath(active))
        _set(device, WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath(ap))

    if str(ap) == '/':
        steps = [(40, 0, bind), (120, 53, None), (30, 53, lambda: _clear_active(device))]
    elif outcome:
        steps = [(40, 0, bind), (50, 0, None), (60, 0, None), (120, outcome, None),
                 (30, outcome, lambda: _clear_active(device))]
    else:
        steps = [(40, 0, bind), (50, 0, None)] + ([(60, 0, None)] if secured else []) + [(70, 0, None), (100, 0, None)]
    _steps(device, steps)
    return dbus.ObjectPath(active)


def _add_and_activate(manager, settings, device, ap):
    if manager.refusal:
        raise dbus.exceptions.DBusException('not allowed', name=manager.refusal)
    wireless = settings.get('802-11-wireless', {})
    name = bytes(wireless.get('ssid', b'')).decode('utf-8', 'replace')
    full = {'connection': {'id': name, 'type': '802-11-wireless', 'uuid': 'added-%s' % name},
            '802-11-wireless': dict(wireless)}
    for key, value in settings.items():
        if key not in full:
            full[key] = value
    path = AddConnection(manager.mock, 'added_%d' % len(dbusmock.get_object(nm.SETTINGS_OBJ).Get(
        nm.SETTINGS_IFACE, 'Connections')), full)
    return (dbus.ObjectPath(path), _activate(manager, path, device, ap))


def _update(conn, settings):
    refusal = dbusmock.get_object(nm.MANAGER_OBJ).refusal
    if refusal:
        raise dbus.exceptions.DBusException('not allowed', name=refusal)
    conn.settings = settings
    conn.EmitSignal(nm.CSETTINGS_IFACE, 'Updated', '', [])


SECRET_KEYS = {'psk', 'wep-key0', 'wep-key1', 'wep-key2', 'wep-key3', 'leap-password', 'password',
               'private-key-password'}


def _public(conn):
    return dbus.Dictionary({name: dbus.Dictionary({k: v for k, v in values.items() if k not in SECRET_KEYS},
                                                  signature='sv')
                            for name, values in conn.settings.items()}, signature='sa{sv}')


def _secrets(conn, setting):
    values = conn.settings.get(setting, {})
    return dbus.Dictionary({setting: dbus.Dictionary({k: v for k, v in values.items() if k in SECRET_KEYS},
                                                     signature='sv')}, signature='sa{sv}')


def _settings_add(settings_obj, settings):
    refusal = dbusmock.get_object(nm.MANAGER_OBJ).refusal
    if refusal:
        raise dbus.exceptions.DBusException('not allowed', name=refusal)
    count = len(settings_obj.Get(nm.SETTINGS_IFACE, 'Connections'))
    return dbus.ObjectPath(AddConnection(dbusmock.get_object(nm.MANAGER_OBJ).mock, 'new_%d' % count, settings))


def _disconnect(dev, device):
    _steps(device, [(110, 39, None), (30, 39, lambda: _clear_active(device))])


def _changed(obj, iface, props):
    obj.EmitSignal(PROPS_IFACE, 'PropertiesChanged', 'sa{sv}as', [iface, props, dbus.Array([], signature='s')])


def _set(path, iface, name, value):
    obj = dbusmock.get_object(path)
    obj.Set(iface, name, value)
    _changed(obj, iface, {name: value})


def _now_msec():
    return dbus.Int64(int(time.monotonic() * 1000))


def _request_scan(dev, _options):
    refusal = getattr(dev, 'scan_refusal', '')
    if refusal:
        raise dbus.exceptions.DBusException('scan refused', name=refusal)
    path = dev.path if hasattr(dev, 'path') else dev.__dbus_object_path__

    def finish():
        _set(path, WIRELESS_IFACE, 'LastScan', _now_msec())
        return False

    GLib.timeout_add(50, finish)


@dbus.service.method(MOCK_IFACE, in_signature='ssus', out_signature='s')
def AddWifi(self, device_name, iface_name, state, perm_hw):
    path = nm.AddWiFiDevice(self, device_name, iface_name, state)
    dev = dbusmock.get_object(path)
    dev.Set(WIRELESS_IFACE, 'PermHwAddress', dbus.String(perm_hw))
    dev.Set(WIRELESS_IFACE, 'HwAddress', dbus.String(perm_hw))
    dev.AddProperties(WIRELESS_IFACE, {'LastScan': dbus.Int64(-1), 'ActiveAccessPoint': dbus.ObjectPath('/')})
    dev.AddProperties(DEVICE_IFACE, {'Autoconnect': dbus.Boolean(True), 'Ip4Config': dbus.ObjectPath('/'),
                                     'Dhcp4Config': dbus.ObjectPath('/')})
    dev.scan_refusal = ''
    dev.request_scan = _request_scan
    dev.AddMethod(WIRELESS_IFACE, 'RequestScan', 'a{sv}', '', 'self.request_scan(self, args[0])')
    dev.device_path = path
    dev.disconnect = _disconnect
    dev.outcome = 0
    dev.AddMethod(DEVICE_IFACE, 'Disconnect', '', '', 'self.disconnect(self, self.device_path)')
    return path


@dbus.service.method(MOCK_IFACE, in_signature='su', out_signature='')
def SetActivationOutcome(_self, device, reason):
    '''0: activations succeed; else they fail at need-auth with this state reason.'''
    dbusmock.get_object(device).outcome = int(reason)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def RefuseActivations(_self, error_name):
    dbusmock.get_object(nm.MANAGER_OBJ).refusal = error_name


@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='')
def RefuseScans(_self, device, error_name):
    dbusmock.get_object(device).scan_refusal = error_name


@dbus.service.method(MOCK_IFACE, in_signature='sx', out_signature='')
def SetLastScan(_self, device, msec):
    _set(device, WIRELESS_IFACE, 'LastScan', dbus.Int64(msec))


@dbus.service.method(MOCK_IFACE, in_signature='suu', out_signature='')
def SetDeviceState(_self, device, state, reason):
    dev = dbusmock.get_object(device)
    old = dev.Get(DEVICE_IFACE, 'State')
    dev.Set(DEVICE_IFACE, 'State', dbus.UInt32(state))
    dev.Set(DEVICE_IFACE, 'StateReason', dbus.Struct((dbus.UInt32(state), dbus.UInt32(reason)), signature='uu'))
    dev.EmitSignal(DEVICE_IFACE, 'StateChanged', 'uuu', [dbus.UInt32(state), dbus.UInt32(old), dbus.UInt32(reason)])
    _changed(dev, DEVICE_IFACE, {'State': dbus.UInt32(state)})


@dbus.service.method(MOCK_IFACE, in_signature='sss', out_signature='s')
def SetActive(self, device, ap_path, connection_path):
    conn = dbusmock.get_object(connection_path)
    name = conn.settings['connection']['id']
    count = len(dbusmock.get_object(nm.MANAGER_OBJ).Get(nm.MANAGER_IFACE, 'ActiveConnections'))
    active = nm.AddActiveConnection(self, [device], connection_path, ap_path, 'active%d' % count,
                                    dbus.UInt32(nm.NMActiveConnectionState.NM_ACTIVE_CONNECTION_STATE_ACTIVATED))
    dbusmock.get_object(active).Set(nm.ACTIVE_CONNECTION_IFACE, 'Id', dbus.String(name))
    _set(device, WIRELESS_IFACE, 'ActiveAccessPoint', dbus.ObjectPath(ap_path))
    _set(device, DEVICE_IFACE, 'ActiveConnection', dbus.ObjectPath(active))
    return active


@dbus.service.method(MOCK_IFACE, in_signature='sa{sa{sv}}', out_signature='s')
def AddConnection(self, name, settings):
    path = '/org/freedesktop/NetworkManager/Settings/' + name
    self.AddObject(path, nm.CSETTINGS_IFACE, {'Unsaved': False, 'Flags': dbus.UInt32(0), 'Filename': ''},
                   [('GetSettings', '', 'a{sa{sv}}', 'ret = self.public(self)'),
                    ('GetSecrets', 's', 'a{sa{sv}}', 'ret = self.secrets(self, args[0])'),
                    ('Update', 'a{sa{sv}}', '', 'self.update(self, args[0])'),
                    ('Delete', '', '', '')])
    conn = dbusmock.get_object(path)
    conn.settings = settings
    conn.update = _update
    conn.public = _public
    conn.secrets = _secrets
    settings_obj = dbusmock.get_object(nm.SETTINGS_OBJ)
    connections = settings_obj.Get(nm.SETTINGS_IFACE, 'Connections')
    connections.append(dbus.ObjectPath(path))
    settings_obj.Set(nm.SETTINGS_IFACE, 'Connections', connections)
    settings_obj.EmitSignal(nm.SETTINGS_IFACE, 'NewConnection', 'o', [path])
    return path


@dbus.service.method(MOCK_IFACE, in_signature='ssss', out_signature='')
def SetIp4(self, device, address, dns, dhcp_server):
    '''The device's IPv4 configuration; an empty DHCP server makes the address static.'''
    name = device.rsplit('/', 1)[1]
    ip4 = '/org/freedesktop/NetworkManager/IP4Config/' + name
    self.AddObject(ip4, 'org.freedesktop.NetworkManager.IP4Config', {
        'AddressData': dbus.Array([{'address': dbus.String(address), 'prefix': dbus.UInt32(8, variant_level=1)}],
                                  signature='a{sv}'),
        'Gateway': dbus.String(dhcp_server or address),
        'NameserverData': dbus.Array([{'address': dbus.String(dns)}], signature='a{sv}'),
    }, [])
    _set(device, DEVICE_IFACE, 'Ip4Config', dbus.ObjectPath(ip4))
    if dhcp_server:
        dhcp4 = '/org/freedesktop/NetworkManager/DHCP4Config/' + name
        self.AddObject(dhcp4, 'org.freedesktop.NetworkManager.DHCP4Config', {
            'Options': dbus.Dictionary({'dhcp_server_identifier': dbus.String(dhcp_server, variant_level=1),
                                        'ip_address': dbus.String(address, variant_level=1)}, signature='sv'),
        }, [])
        _set(device, DEVICE_IFACE, 'Dhcp4Config', dbus.ObjectPath(dhcp4))


@dbus.service.method(MOCK_IFACE, in_signature='sy', out_signature='')
def SetStrength(_self, ap_path, strength):
    _set(ap_path, AP_IFACE, 'Strength', dbus.Byte(strength))


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def DropDevice(self, device):
    manager = dbusmock.get_object(nm.MANAGER_OBJ)
    devices = [d for d in manager.Get(nm.MANAGER_IFACE, 'Devices') if d != device]
    manager.Set(nm.MANAGER_IFACE, 'Devices', dbus.Array(devices, signature='o'))
    self.RemoveObject(device)
    manager.EmitSignal(nm.MANAGER_IFACE, 'DeviceRemoved', 'o', [dbus.ObjectPath(device)])
