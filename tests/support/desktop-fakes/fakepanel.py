'''The virtual laptop's panel as the desktops' fakes set it: the brightness
file of its backlight, in the backlight's own raw units. A desktop writes it
through logind or its helper; the fakes write the file itself.'''

import os


def write_raw(parameters, raw):
    path = parameters.get('backlight', '')
    if path and os.path.exists(path):
        # In place, as a write to sysfs: never an empty file for a reader. A
        # backlight the compositor holds refuses sysfs writes (EBUSY); the
        # desktop then sets it through the compositor, which is not the file.
        try:
            with open(path, 'r+') as f:
                f.write(f'{int(raw)}\n')
                f.truncate()
        except OSError:
            pass


def write_fraction(parameters, fraction):
    maximum = int(parameters.get('max', 100))
    write_raw(parameters, round(min(max(fraction, 0.0), 1.0) * maximum))
