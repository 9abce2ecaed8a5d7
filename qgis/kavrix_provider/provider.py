"""The Processing provider "kavrix" and its setting."""

import os

from qgis.core import QgsProcessingProvider
from qgis.PyQt.QtGui import QIcon
from processing.core.ProcessingConfig import ProcessingConfig, Setting

from .index_distribution import IndexDistribution
from .tools import TOOLS_FOLDER
from .topographic_index import FORMATS, TopographicIndex


class KavrixProvider(QgsProcessingProvider):
    """Offers kavrix:topographicindex and kavrix:indexdistribution."""

    def id(self):
        return 'kavrix'

    def name(self):
        return 'kavrix'

    def longName(self):
        return 'kavrix (topographic index)'

    def icon(self):
        return QIcon(os.path.join(os.path.dirname(__file__), 'icon.svg'))

    def load(self):
        # The folder shows in Settings > Options > Processing > Providers.
        ProcessingConfig.settingIcons[self.name()] = self.icon()
        ProcessingConfig.addSetting(Setting(
            self.name(), TOOLS_FOLDER, 'Folder of kavrix-gdal and kavrix-dist (empty: PATH)',
            '', valuetype=Setting.FOLDER))
        ProcessingConfig.readSettings()
        self.refreshAlgorithms()
        return True

    def unload(self):
        ProcessingConfig.removeSetting(TOOLS_FOLDER)

    def loadAlgorithms(self):
        self.addAlgorithm(TopographicIndex())
        self.addAlgorithm(IndexDistribution())

    def defaultRasterFileExtension(self):
        return 'tif'

    def supportedOutputRasterLayerExtensions(self):
        return list(FORMATS)

    def supportsNonFileBasedOutput(self):
        return False
