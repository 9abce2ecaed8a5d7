"""Run by QGIS's desktop at start (--code): opens the Topographic index dialog
on the example grids, saves its screenshot to $SHOT and quits, with status 0
where both algorithms are in the registry and the dialog can run."""
import os
from qgis.PyQt.QtCore import Qt, QTimer
from qgis.PyQt.QtGui import QImage
from qgis.core import QgsApplication, QgsCoordinateReferenceSystem, QgsProject, QgsRasterLayer


def shoot():
    import processing
    layers = {n: QgsRasterLayer('{}/{}.asc'.format(os.environ['EXAMPLES'], f), f)
              for n, f in (('A', 'flowacc'), ('T', 'transmissivity'), ('S', 'slope'))}
    for layer in layers.values():
        layer.setCrs(QgsCoordinateReferenceSystem('EPSG:25832'))
        QgsProject.instance().addMapLayer(layer)
    dialog = processing.createAlgorithmDialog('kavrix:topographicindex', {n: l.id() for n, l in layers.items()})
    dialog.show()
    dialog.resize(760, 700)
    QgsApplication.processEvents()
    # 256 colours without dithering: a fifth of the size, the same to the eye.
    dialog.grab().toImage().convertToFormat(
        QImage.Format_Indexed8, Qt.ThresholdDither | Qt.AvoidDither).save(os.environ['SHOT'])
    ids = sorted(a.id() for a in QgsApplication.processingRegistry().algorithms() if a.provider().id() == 'kavrix')
    runnable = dialog.algorithm().canExecute()[0]
    dialog.close()
    QgsProject.instance().removeAllMapLayers()  # before the application, which would free them twice
    QgsApplication.exit(0 if ids == ['kavrix:indexdistribution', 'kavrix:topographicindex'] and runnable else 1)


QTimer.singleShot(500, shoot)
