#!/usr/bin/python3
"""Makes a sample cohort from the real head CT:

    cohortsample.py CT OUTDIR [CANON]

CT is the image pair that tests/realct's invimport writes from Debian's
package invesalius-examples (Hounsfield units; its rows run toward the
face, which lies at the high rows, and its slices toward the head).
OUTDIR (new or empty) receives the same scan five ways:

    ct01.nii.gz     NIfTI, stored with columns toward the patient's right,
                    rows toward the front (RAS), values in HU
    ct02.nii        NIfTI stored as sagittal slices (rows toward the
                    head, slices toward the right), values in HU
    dicom/ct03/     a DICOM axial series (unsigned, RescaleIntercept
                    -1024), files in shuffled order
    pairs/ct04.hd   an image pair, already in the importer's order, in
                    HU + 1024 (what nii2im -a 1024 gives for the others)
    broken.nii.gz   a NIfTI file cut short: a scan that fails

With CANON, the scan in the importer's order (columns toward the
patient's left, rows toward the back, slices toward the head; HU) is
also written as the image pair CANON: the direct import every form must
match.
"""
import os
import sys

import nibabel as nib
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))
import dicomseries  # noqa: E402

SP = (dicomseries.COLSPACE, dicomseries.ROWSPACE, dicomseries.SLICESPACE)


def writepair(name, vol, bpp=2):
    """An image pair [slice][row][column], written whole (temporary names,
    then renamed)."""
    folder = os.path.dirname(name) or "."
    os.makedirs(folder, exist_ok=True)
    nz, ny, nx = vol.shape
    hd = ("Bytes per pixel=%d\nSize of dimension[0]=%d\nSize of dimension[1]=%d\n"
          "Size of dimension[2]=%d\nNumber of channels=1\n" % (bpp, nz, nx, ny))
    base = os.path.join(folder, ".tmp-" + os.path.basename(name))
    with open(base + "-im", "wb") as f:
        f.write(np.ascontiguousarray(vol.astype("<i2" if bpp == 2 else "u1")).tobytes())
    with open(base + "-hd", "w") as f:
        f.write(hd)
    os.replace(base + "-im", name + ".im")
    os.replace(base + "-hd", name + ".hd")


def writenifti(path, data, affine):
    img = nib.Nifti1Image(data.astype(np.int16), affine)
    img.header.set_data_dtype(np.int16)
    img.header.set_slope_inter(1, 0)
    img.set_sform(affine, code=1)
    img.set_qform(affine, code=1)
    tmp = os.path.join(os.path.dirname(path), ".tmp-" + os.path.basename(path).replace(".", "-"))
    nib.save(img, tmp + (".nii.gz" if path.endswith(".gz") else ".nii"))
    os.replace(tmp + (".nii.gz" if path.endswith(".gz") else ".nii"), path)


def main():
    if len(sys.argv) not in (3, 4):
        raise SystemExit("usage: cohortsample.py CT OUTDIR [CANON]")
    raw = dicomseries.readpair(sys.argv[1])
    out = sys.argv[2]
    os.makedirs(out, exist_ok=True)
    if os.listdir(out):
        raise SystemExit("cohortsample: %s is not empty" % out)
    # The importer's order: the package's rows run toward the face.
    canon = raw[:, ::-1, :]
    if len(sys.argv) == 4:
        writepair(sys.argv[3], canon)
    nz, ny, nx = canon.shape

    # NIfTI arrays are [i][j][k] with i fastest in the file; RAS mm.
    # ct01: i toward the right, j toward the front, k toward the head.
    d1 = np.transpose(canon, (2, 1, 0))[::-1, ::-1, :]
    a1 = np.diag([SP[0], SP[1], SP[2], 1.0])
    a1[:3, 3] = [-(nx - 1) * SP[0] / 2, -(ny - 1) * SP[1] / 2, 0]
    writenifti(os.path.join(out, "ct01.nii.gz"), d1, a1)

    # ct02: sagittal slices: i toward the front, j toward the head, k
    # toward the right.
    d2 = np.transpose(canon, (1, 0, 2))[::-1, :, ::-1]
    a2 = np.zeros((4, 4))
    a2[1, 0] = SP[1]   # i: front (+A)
    a2[2, 1] = SP[2]   # j: head (+S)
    a2[0, 2] = SP[0]   # k: right (+R)
    a2[:, 3] = [10.0, -20.0, 5.0, 1.0]
    writenifti(os.path.join(out, "ct02.nii"), d2, a2)

    dicomseries.writeseries(canon, os.path.join(out, "dicom", "ct03"), "axial", seed=3)
    writepair(os.path.join(out, "pairs", "ct04"), canon.astype(np.int32) + 1024)

    # Broken: the first 4 KiB of a compressed NIfTI file.
    with open(os.path.join(out, "ct01.nii.gz"), "rb") as f:
        head = f.read(4096)
    with open(os.path.join(out, ".tmp-broken"), "wb") as f:
        f.write(head)
    os.replace(os.path.join(out, ".tmp-broken"), os.path.join(out, "broken.nii.gz"))


if __name__ == "__main__":
    main()
