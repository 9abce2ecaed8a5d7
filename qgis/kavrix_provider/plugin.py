"""The plugin: it adds the provider to the Processing registry."""

from qgis.core import QgsApplication

from .provider import KavrixProvider


class KavrixPlugin:
    """Registers the kavrix provider in the desktop and in qgis_process."""

    def __init__(self, iface):
        self.iface = iface
        self.provider = None

    def initProcessing(self):
        self.provider = KavrixProvider()
        QgsApplication.processingRegistry().addProvider(self.provider)

    def initGui(self):
        self.initProcessing()

    def unload(self):
        QgsApplication.processingRegistry().removeProvider(self.provider)
