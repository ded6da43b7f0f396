#!/usr/bin/python3
"""Writes a volume as a DICOM CT series with real geometry.

    dicomseries.py PAIR DIR axial|coronal [SEED]

PAIR is an image pair (PAIR.hd, PAIR.im, signed 16-bit values in
Hounsfield units) whose columns grow toward the patient's left, rows
toward the back and slices toward the head, which is the order the
importer writes.  DIR receives one file per slice: axial slices (rows
toward the back) or coronal slices (rows toward the feet), with
ImagePositionPatient, ImageOrientationPatient and PixelSpacing, the
values stored unsigned with RescaleIntercept -1024, and file names in a
shuffled order (SEED, default 1, picks the order).  Importing the series
back must give the pair's voxels exactly.
"""
import os
import random
import sys

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

CTSTORAGE = "1.2.840.10008.5.1.4.1.1.2"
COLSPACE, ROWSPACE, SLICESPACE = 0.9570312, 0.9570312, 1.5


def readpair(name):
    """The pair's voxels as an array [slice][row][column]."""
    keys = {"Bytes per pixel": 0, "Size of dimension[0]": 0,
            "Size of dimension[1]": 0, "Size of dimension[2]": 0}
    with open(name + ".hd", encoding="latin-1") as f:
        for line in f:
            for k in keys:
                if k in line and "=" in line:
                    keys[k] = int(line.split("=", 1)[1].split()[0])
                    break
    if keys["Bytes per pixel"] != 2:
        raise SystemExit("dicomseries: %s is not a 2-byte image" % name)
    shape = (keys["Size of dimension[0]"], keys["Size of dimension[2]"],
             keys["Size of dimension[1]"])
    n = shape[0] * shape[1] * shape[2]
    return np.fromfile(name + ".im", dtype="<i2", count=n).reshape(shape)


def sliceset(vol, plane):
    """(pixels, position, orientation, spacing) of each slice, in LPS mm.

    A voxel (x, y, z) of the pair lies at L = x * COLSPACE, P = y *
    ROWSPACE, S = (z - 1) * SLICESPACE (z from 1, the array from 0).
    """
    nz, ny, nx = vol.shape
    out = []
    if plane == "axial":
        for z in range(nz):
            out.append((vol[z], [0.0, 0.0, z * SLICESPACE], [1, 0, 0, 0, 1, 0],
                        [ROWSPACE, COLSPACE]))
    else:
        # Coronal: a slice per row of the pair, front first; its rows run
        # from the head down to the feet.
        for y in range(ny):
            out.append((vol[::-1, y, :], [0.0, y * ROWSPACE, (nz - 1) * SLICESPACE],
                        [1, 0, 0, 0, 0, -1], [SLICESPACE, COLSPACE]))
    return out


def writeseries(vol, folder, plane, seed=1):
    os.makedirs(folder, exist_ok=True)
    slices = sliceset(vol, plane)
    study, series, frame = generate_uid(), generate_uid(), generate_uid()
    names = ["IM%05d" % i for i in random.Random(seed).sample(range(10000, 99999), len(slices))]
    thick = SLICESPACE if plane == "axial" else ROWSPACE
    for k, (pix, pos, orient, spacing) in enumerate(slices):
        meta = FileMetaDataset()
        meta.MediaStorageSOPClassUID = CTSTORAGE
        meta.MediaStorageSOPInstanceUID = generate_uid()
        meta.TransferSyntaxUID = ExplicitVRLittleEndian
        ds = Dataset()
        ds.file_meta = meta
        ds.SOPClassUID = CTSTORAGE
        ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
        ds.StudyInstanceUID = study
        ds.SeriesInstanceUID = series
        ds.FrameOfReferenceUID = frame
        ds.Modality = "CT"
        ds.PatientName = "Sample^Head"
        ds.PatientID = "SAMPLE01"
        ds.StudyDate = ds.SeriesDate = "20120914"
        ds.StudyTime = ds.SeriesTime = "151208"
        ds.SeriesNumber = 2 if plane == "axial" else 3
        ds.SeriesDescription = "Head " + plane
        ds.InstanceNumber = k + 1
        ds.ImageType = ["ORIGINAL", "PRIMARY", "AXIAL" if plane == "axial" else "REFORMATTED"]
        ds.ImagePositionPatient = ["%.6f" % v for v in pos]
        ds.ImageOrientationPatient = [str(v) for v in orient]
        ds.PixelSpacing = ["%.7f" % v for v in spacing]
        ds.SliceThickness = "%.7f" % thick
        ds.SliceLocation = "%.6f" % (pos[2] if plane == "axial" else pos[1])
        ds.Rows, ds.Columns = pix.shape
        ds.SamplesPerPixel = 1
        ds.PhotometricInterpretation = "MONOCHROME2"
        ds.BitsAllocated = 16
        ds.BitsStored = 12
        ds.HighBit = 11
        ds.PixelRepresentation = 0
        ds.RescaleIntercept = "-1024"
        ds.RescaleSlope = "1"
        ds.RescaleType = "HU"
        stored = pix.astype(np.int32) + 1024
        if stored.min() < 0 or stored.max() > 4095:
            raise SystemExit("dicomseries: values outside -1024..3071 HU")
        ds.PixelData = np.ascontiguousarray(stored.astype("<u2")).tobytes()
        ds.is_little_endian = True
        ds.is_implicit_VR = False
        path = os.path.join(folder, names[k])
        tmp = os.path.join(folder, ".tmp-" + names[k])
        ds.save_as(tmp, write_like_original=False)
        os.replace(tmp, path)


def main():
    if len(sys.argv) not in (4, 5) or sys.argv[3] not in ("axial", "coronal"):
        raise SystemExit("usage: dicomseries.py PAIR DIR axial|coronal [SEED]")
    seed = int(sys.argv[4]) if len(sys.argv) == 5 else 1
    writeseries(readpair(sys.argv[1]), sys.argv[2], sys.argv[3], seed)


if __name__ == "__main__":
    main()
