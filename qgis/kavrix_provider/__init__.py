"""kavrix in QGIS: the topographic index and its distribution as
Processing algorithms that run the kavrix commands."""


def classFactory(iface):
    """The plugin object QGIS asks every plugin for."""
    from .plugin import KavrixPlugin
    return KavrixPlugin(iface)
