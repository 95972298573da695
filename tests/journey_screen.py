#!/usr/bin/python3
"""Where the timing editor shows the chosen syllable on the X screen, for the
journey's mouse drag: the centre of the block painted in the selection colour
in the lower half of the screen, as "x y" (exit status 1 when none shows).

The editor paints the chosen syllable's block with the palette's highlight
(48, 140, 198 in Qt's Fusion style); the words box above it may show the
same colour, so only the lower half counts. Reads the root window through
Xlib with ctypes: no imaging package is needed.
"""
import ctypes
import sys

HIGHLIGHT = (48, 140, 198)


class XImage(ctypes.Structure):
    _fields_ = [(n, ctypes.c_int) for n in ("width", "height", "xoffset", "format")] + \
        [("data", ctypes.c_void_p)] + \
        [(n, ctypes.c_int) for n in ("byte_order", "bitmap_unit", "bitmap_bit_order",
                                     "bitmap_pad", "depth", "bytes_per_line", "bits_per_pixel")]


def screen():
    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XDisplayWidth.argtypes = x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XGetImage.restype = ctypes.POINTER(XImage)
    x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                            ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    display = x.XOpenDisplay(None)
    if not display:
        sys.exit("journey_screen: no X display")
    width, height = x.XDisplayWidth(display, 0), x.XDisplayHeight(display, 0)
    image = x.XGetImage(display, x.XDefaultRootWindow(display), 0, 0, width, height,
                        0xFFFFFFFF, 2).contents  # ZPixmap, 32 bits a pixel (BGRA)
    return image, ctypes.string_at(image.data, image.bytes_per_line * image.height)


def main():
    image, data = screen()
    blue, green, red = HIGHLIGHT[2], HIGHLIGHT[1], HIGHLIGHT[0]
    xs, ys = [], []
    for y in range(image.height // 2, image.height):
        row = data[y * image.bytes_per_line:(y + 1) * image.bytes_per_line]
        for x in range(image.width):
            if row[4 * x] == blue and row[4 * x + 1] == green and row[4 * x + 2] == red:
                xs.append(x)
                ys.append(y)
    if not xs:
        sys.exit(1)
    print((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)


main()
