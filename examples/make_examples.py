#!/usr/bin/env python3
"""Writes the sample data files of this folder: made-up survey data with Chinese names in code page 936 (GBK),
CR LF line ends. Run it from anywhere; it rewrites the files beside it.

Some names hold characters whose second GBK byte is 0x40 ('@') or 0x5E ('^'), the bytes of two record markers:
a receiver that steps through bytes instead of characters mistakes them for markers.
"""
from pathlib import Path

HERE = Path(__file__).resolve().parent

BINJIANG = "\u6ee8\u6c5f\u5927\u9053"  # Binjiang Avenue
GUOJIANG = "\u904e\u6c5f\u96a7\u9053"  # river tunnel; its first character ends in 0x5E
XUEFU = "\u5b66\u5e9c\u8def"  # Xuefu Road
YUANMEN = "\u8f45\u9580\u8def"  # Yuanmen Road; its first character ends in 0x40
GUANJING = "\u89c0\u666f\u8def"  # viewpoint road; its first character ends in 0x5E
WATER_TOWER = "\u6c34\u5854"  # water tower
PIER = "\u89c0\u6e2c\u58a9"  # observation pier
GUANQIAN = "\u9928\u524d"  # station "in front of the hall"; its first character ends in 0x5E
CROSSING = "\u5b66\u5e9c\u8def\u53e3"  # station at the Xuefu Road crossing
BACKSIGHT = "\u540e\u89c6"  # backsight
FORESIGHT = "\u524d\u89c6"  # foresight


def write(name, lines):
    data = "".join(line + "\r\n" for line in lines).encode("gbk")
    (HERE / name).write_bytes(data)


def road(name, records):
    return [">>%s,%d" % (name, len(records))] + records


write("sample.HLN", ["BeginRoad,1"]
      + road(BINJIANG, ["0.000,3051234.500,502345.800,45.123000",
                        "150.000,3051340.566,502451.866,45.123000",
                        "310.250,3051402.913,502598.201,78.504500",
                        "455.000,3051431.177,502740.150,78.504500"])
      + road(GUOJIANG, ["0.000,3050980.100,502010.400,120.300000",
                        "220.000,3050870.100,502200.930,120.300000",
                        "480.000,3050740.100,502426.100,135.000000"])
      + road(XUEFU, ["0.000,3051500.000,501900.000,0.000000",
                     "95.500,3051595.500,501900.000,0.000000",
                     "260.000,3051760.000,501911.250,4.125000"])
      + ["EndRoad"])

write("sample.VLN", ["BeginRoad,1"]
      + road(YUANMEN, ["0.000,12.350,0",
                       "180.000,14.150,3000",
                       "360.000,13.250,2500",
                       "520.000,13.890,0"])
      + road(BINJIANG, ["0.000,8.200,0",
                        "240.000,9.640,4000",
                        "455.000,9.210,0"])
      + ["EndRoad"])

write("sample.TLN",
      road(GUANJING, ["K0+020,3.500,2.0", "K0+040,3.500,2.0", "K0+060,3.750,1.5"])
      + road(BINJIANG, ["K0+000,7.500,2.0", "K0+050,7.500,2.0"]))

write("sample.CPT", ["GP01,3051200.125,502300.456,12.345",
                     "GP02,3051380.602,502466.018,13.010",
                     WATER_TOWER + ",3051410.778,502512.339,30.120",
                     PIER + ",3050902.441,502118.760,9.874",
                     "GP05,3051644.090,501905.512,11.236"])

# An OBS download as the instrument sends it: point, station, instrument height, code, horizontal angle,
# vertical angle, slope distance, target height, note. The first station comes back after the second.
write("obs-download.txt", [
    "1,%s,1.520,BS,0.00000,90.01230,125.432,1.600,%s" % (GUANQIAN, BACKSIGHT),
    "2,%s,1.520,FS,87.30150,89.58410,98.115,1.600,%s" % (GUANQIAN, FORESIGHT),
    "3,%s,1.520,FS,143.12050,90.10020,61.870,1.800,%s" % (GUANQIAN, WATER_TOWER),
    "4,%s,1.485,BS,0.00000,89.59580,210.004,1.600,%s" % (CROSSING, BACKSIGHT),
    "5,%s,1.485,FS,201.44300,90.03100,87.652,1.600,%s" % (CROSSING, PIER),
    "6,%s,1.520,FS,275.05400,90.00000,44.310,1.600,%s" % (GUANQIAN, FORESIGHT),
])
