'''A stand-in udisks2 for python3-dbusmock (-t udisks2_mock.py -p JSON).

JSON: "devices", the device paths (or files) ResolveDevice knows and opens;
"answer" "open" or "deny" (what polkit would say); "write_protected" devices
whose read-write opens fail with EROFS as a write-protected USB floppy's do;
"log" a file that gets a line "MODE FLAGS" per OpenDevice call; "system"
devices that udisks2 counts as set up by the system (HintSystem), whose
opening polkit checks as open-device-system.
'''

import dbus

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2/Manager'
MAIN_IFACE = 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = True

BLOCK_IFACE = 'org.freedesktop.UDisks2.Block'

# Runs in the mock's method with its arguments in `args`; `ret` is the reply.
OPEN_DEVICE = '''
import errno
import os
import dbus
flags = int(args[1].get('flags', 0))
with open({log!r}, 'a') as log:
    log.write('%s %d\\n' % (args[0], flags))
if {answer!r} == 'deny':
    raise dbus.exceptions.DBusException(
        'Not authorized to perform operation',
        name='org.freedesktop.UDisks2.Error.NotAuthorized')
access = {{'r': os.O_RDONLY, 'rw': os.O_RDWR}}[str(args[0])]
try:
    if {write_protected!r} and access == os.O_RDWR:
        raise OSError(errno.EROFS, 'write-protected')
    fd = os.open({backing!r}, access | flags)
except OSError as e:
    raise dbus.exceptions.DBusException(
        'Error opening device %s: %s' % ({backing!r}, os.strerror(e.errno)),
        name='org.freedesktop.UDisks2.Error.Failed')
ret = dbus.types.UnixFd(fd)
os.close(fd)
'''


def load(mock, parameters):
    objects = {}
    for number, device in enumerate(parameters['devices']):
        path = '/org/freedesktop/UDisks2/block_devices/tessil%d' % number
        objects[device] = path
        code = OPEN_DEVICE.format(log=parameters.get('log', '/dev/null'),
                                  answer=parameters.get('answer', 'open'), backing=device,
                                  write_protected=device in parameters.get('write_protected', []))
        system = dbus.Boolean(device in parameters.get('system', []))
        mock.AddObject(path, BLOCK_IFACE, {'HintSystem': system},
                       [('OpenDevice', 'sa{sv}', 'h', code)])
    mock.AddMethod(MAIN_IFACE, 'ResolveDevice', 'a{sv}a{sv}', 'ao', '''
import dbus
ret = []
for device, path in %r.items():
    if device == str(args[0].get('path', '')):
        ret.append(dbus.ObjectPath(path))
''' % objects)
